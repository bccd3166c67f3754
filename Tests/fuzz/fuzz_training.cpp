// Training records. fuzz_train_records reads a file of any bytes as the trainer does, record
// by record and as a whole training set; a record the decoder accepts must pack back to the
// same 40 bytes. fuzz_epd2bin converts labelled EPD text with "-epd2bin"; every record it
// writes must decode again and pack back to its bytes.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"
#include "tools/tune_data.h"
#include "trainer/train_data.h"

namespace tarn::fuzz {

namespace {

constexpr std::uint64_t MAX_RECORDS = 512;

bool trainer_ready = false;

void check_record(const std::uint8_t* bytes) {
    TrainingRecord record;
    const RecordVerdict verdict = record_position(bytes, scratch_thread(), record);
    if (verdict == RECORD_DAMAGED)
        return;
    std::uint8_t packed[TRAINING_RECORD_BYTES];
    pack_training_record(record, packed);
    if (std::memcmp(packed, bytes, TRAINING_RECORD_BYTES) != 0)
        fail("a decoded training record packs to other bytes");
    if (verdict == RECORD_KEPT && !position_is_consistent(scratch_thread().board.pos))
        fail("a kept training record reads into an inconsistent position");
}

} // namespace

int fuzz_train_records(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    // Once: the trainer's set-up rebuilds every table.
    if (!trainer_ready && !train_prepare_engine())
        fail("the trainer's network cannot be set up");
    trainer_ready          = true;
    const std::string path = write_scratch("records.bin", data, size);
    for_each_record(path, MAX_RECORDS, check_record);
    for (const bool quiet : {false, true}) {
        TrainingSet set;
        LoadCounts counts;
        std::string error;
        LoadSettings how;
        how.quiet_only = quiet;
        how.hce_labels = quiet;
        if (!load_training_files({path}, set, counts, error, how))
            fail("a readable record file was refused: " + error);
        if (set_size(set) != counts.kept || set.starts.size() != set_size(set) + 1)
            fail("the training set does not hold its kept records");
    }
    return 0;
}

int fuzz_epd2bin(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    const std::string input  = write_scratch("labels.epd", data, size);
    const std::string output = training_file_name(input);
    std::remove(output.c_str());
    convert_training_data(input);
    const std::string bytes = read_file(output);
    if (bytes.size() % TRAINING_RECORD_BYTES != 0)
        fail("-epd2bin wrote a torn record");
    for (std::size_t at = 0; at < bytes.size(); at += TRAINING_RECORD_BYTES) {
        TrainingRecord record;
        const auto* record_bytes = reinterpret_cast<const std::uint8_t*>(bytes.data() + at);
        if (!decode_training_record(record_bytes, record))
            fail("-epd2bin wrote a record the trainer reads as damaged");
        check_record(record_bytes);
    }
    return 0;
}

} // namespace tarn::fuzz
