#include "match/time_control.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarn {

namespace {

// A non-negative decimal number, or -1 when the text is not one.
double read_seconds(const std::string& text) {
    if (text.empty())
        return -1;
    // "M:SS" minutes and seconds
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos) {
        const double minutes = read_seconds(text.substr(0, colon));
        const double seconds = read_seconds(text.substr(colon + 1));
        return minutes < 0 || seconds < 0 ? -1 : minutes * 60 + seconds;
    }
    char* end      = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(v >= 0) || std::isinf(v) ||
        !std::isdigit(static_cast<unsigned char>(text[0])))
        return -1;
    return v;
}

long long to_ms(double seconds) {
    return std::llround(std::max(0.0, seconds) * 1000.0);
}

// Shortest text of a number of seconds: 60, 0.6, 1.25.
std::string seconds_text(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
    std::string text = buffer;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace

bool parse_clock_control(const std::string& text, TimeControl& tc, std::string& error) {
    if (text == "inf") {
        tc.has_clock = false;
        tc.moves     = 0;
        tc.base      = 0;
        tc.increment = 0;
        return true;
    }
    std::string rest        = text;
    int moves               = 0;
    const std::size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        int count            = 0;
        const char* last     = rest.data() + slash;
        const auto [end, ec] = std::from_chars(rest.data(), last, count);
        if (ec != std::errc() || end != last || count <= 0 || count > 1000) {
            error = "bad time control '" + text + "': moves per period must be 1 to 1000";
            return false;
        }
        moves = count;
        rest  = rest.substr(slash + 1);
    }
    double increment       = 0;
    const std::size_t plus = rest.find('+');
    if (plus != std::string::npos) {
        increment = read_seconds(rest.substr(plus + 1));
        rest      = rest.substr(0, plus);
    }
    const double base = read_seconds(rest);
    if (base < 0 || increment < 0 || (base == 0 && increment == 0)) {
        error = "bad time control '" + text + "' (use moves/seconds+increment, e.g. 40/60+0.6)";
        return false;
    }
    tc.has_clock = true;
    tc.moves     = moves;
    tc.base      = base;
    tc.increment = increment;
    return true;
}

bool has_search_limit(const TimeControl& tc) {
    return tc.has_clock || tc.move_time > 0 || tc.nodes > 0 || tc.depth > 0;
}

std::string time_control_tag(const TimeControl& tc) {
    if (tc.has_clock) {
        std::string text = tc.moves ? std::to_string(tc.moves) + "/" : "";
        text += seconds_text(tc.base);
        if (tc.increment > 0)
            text.append("+").append(seconds_text(tc.increment));
        return text;
    }
    if (tc.move_time > 0)
        return seconds_text(tc.move_time) + "/move";
    return "-";
}

Clock clock_start(const TimeControl& tc) {
    Clock clock;
    clock.remaining  = tc.has_clock ? tc.base : 0.0;
    clock.moves_left = tc.moves;
    return clock;
}

std::string go_command(const TimeControl tcs[2], const Clock clocks[2], int side) {
    const TimeControl& tc = tcs[side];
    std::string go        = "go";
    if (tc.has_clock) {
        // Both clocks as each side's own control has them; an opponent without a clock shows
        // the mover's time so that the engine's time manager sees an even game.
        const int other       = side ^ 1;
        const Clock& opponent = tcs[other].has_clock ? clocks[other] : clocks[side];
        const double opp_inc  = tcs[other].has_clock ? tcs[other].increment : tc.increment;
        const Clock& white    = side == 0 ? clocks[side] : opponent;
        const Clock& black    = side == 1 ? clocks[side] : opponent;
        const double w_inc    = side == 0 ? tc.increment : opp_inc;
        const double b_inc    = side == 1 ? tc.increment : opp_inc;
        go += " wtime " + std::to_string(to_ms(white.remaining));
        go += " btime " + std::to_string(to_ms(black.remaining));
        if (w_inc > 0)
            go += " winc " + std::to_string(to_ms(w_inc));
        if (b_inc > 0)
            go += " binc " + std::to_string(to_ms(b_inc));
        if (tc.moves > 0)
            go += " movestogo " + std::to_string(clocks[side].moves_left);
    } else if (tc.move_time > 0) {
        go += " movetime " + std::to_string(to_ms(tc.move_time));
    }
    if (tc.nodes > 0)
        go += " nodes " + std::to_string(tc.nodes);
    if (tc.depth > 0)
        go += " depth " + std::to_string(tc.depth);
    return go;
}

double think_limit(const TimeControl& tc, const Clock& clock) {
    if (tc.has_clock)
        return clock.remaining + tc.margin;
    if (tc.move_time > 0)
        return tc.move_time + tc.margin;
    return tc.hang_limit;
}

double time_left_after(const TimeControl& tc, const Clock& clock, double seconds) {
    if (tc.has_clock)
        return clock.remaining - seconds;
    if (tc.move_time > 0)
        return tc.move_time - seconds;
    return NO_DEADLINE;
}

bool clock_charge(Clock& clock, const TimeControl& tc, double seconds) {
    if (!tc.has_clock)
        return tc.move_time <= 0 || seconds <= tc.move_time + tc.margin;
    if (seconds > clock.remaining + tc.margin) {
        clock.remaining = 0;
        return false;
    }
    clock.remaining = std::max(0.0, clock.remaining - seconds) + tc.increment;
    if (tc.moves > 0 && --clock.moves_left == 0) {
        clock.remaining += tc.base;
        clock.moves_left = tc.moves;
    }
    return true;
}

} // namespace tarn
