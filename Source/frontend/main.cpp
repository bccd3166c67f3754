#include "frontend/startup.h"

int main(int argc, char** argv) {
    return tarn::tarn_main(argc, argv);
}
