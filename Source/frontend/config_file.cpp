#include "frontend/config_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "frontend/options.h"
#include "frontend/output.h"

namespace tarn {

namespace {

constexpr int CONFIG_LINE_CHARS = 254; // longer lines are cut
constexpr int CONFIG_SHORT_LINE = 3;   // lines this long or shorter (line end included) are skipped

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Splits one configuration line into option name and value. False for lines to skip.
bool split_config_line(char* line, std::string& name, std::string& value) {
    if (char* end = std::strchr(line, '\n')) {
        // A carriage return before the line feed belongs to the line end.
        if (end > line && end[-1] == '\r')
            *--end = '\n';
        end[1] = 0;
    }
    if (static_cast<int>(std::strlen(line)) <= CONFIG_SHORT_LINE)
        return false;
    if (char* end = std::strchr(line, '\n'))
        *end = 0;
    if (char* comment = std::strchr(line, '#'))
        *comment = 0;
    char* equals = std::strchr(line, '=');
    if (!equals)
        return false;
    const char* name_end = equals;
    while (name_end > line && is_blank(name_end[-1]))
        --name_end;
    name.assign(line, static_cast<std::size_t>(name_end - line));
    if (name.size() > static_cast<std::size_t>(OPTION_NAME_MAX))
        name.resize(static_cast<std::size_t>(OPTION_NAME_MAX));
    const char* v = equals + 1;
    while (is_blank(*v))
        ++v;
    value.assign(v);
    if (value.size() > static_cast<std::size_t>(OPTION_VALUE_MAX))
        value.resize(static_cast<std::size_t>(OPTION_VALUE_MAX));
    return true;
}

// Reads one line of at most CONFIG_LINE_CHARS characters; the rest of a longer line is
// dropped rather than read as a line of its own.
bool read_config_line(std::FILE* file, char* buffer, int size) {
    if (!std::fgets(buffer, size, file))
        return false;
    if (!std::strchr(buffer, '\n') && !std::feof(file)) {
        int c = 0;
        while ((c = std::fgetc(file)) != EOF && c != '\n') {
        }
    }
    return true;
}

} // namespace

bool load_config(const char* path) {
    if (!path[0])
        return false;
    std::FILE* file = std::fopen(path, "r");
    if (!file) {
        print_format("info string can't open configuration file %s", path);
        return false;
    }
    print_format("info string loading parameters from %s", path);
    char line[CONFIG_LINE_CHARS + 1];
    std::string name;
    std::string value;
    while (read_config_line(file, line, sizeof line))
        if (split_config_line(line, name, value))
            apply_option(name.c_str(), value.c_str());
    std::fclose(file);
    live_options.options_changed = 1;
    saved_options                = live_options;
    return true;
}

} // namespace tarn
