#include "uptime/tick_fallback.h"

#include <string>

#include "log/run_log.h"
#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

std::uint64_t roundToUnits(std::uint64_t milliseconds, std::uint64_t unit) {
    // In whole numbers, so no count is too large to round exactly.
    const std::uint64_t whole = milliseconds / unit;
    const std::uint64_t rest = milliseconds % unit;
    const std::uint64_t twice = rest * 2;
    const bool roundUp = twice > unit || (twice == unit && whole % 2 == 1);
    return roundUp ? whole + 1 : whole;
}

bool getUpTimeByAPI(RunContext& run) {
    return withTrap(
        [&] {
            if (!run.state.gUpTime.isZero()) {
                return true;
            }
            // The 64-bit count keeps going past 49.7 days, where the 32-bit one restarts.
            const std::uint64_t ticks = run.os.system.tickCount();
            run.state.gUpTime = UpTime::fromSeconds(roundToUnits(ticks, 1000));
            const std::uint64_t minutes = roundToUnits(ticks, 60000);
            writeLog(run, L"MSG : System UP Time : " + decimalText(minutes) + L" minutes.");
            return true;
        },
        [&](const Error& error) {
            // Sending depends on this text being non-empty, so an error without a
            // description must not read as success.
            run.state.gUpTimeError = error.description().empty()
                                         ? L"Error " + signedDecimalText(error.number())
                                         : error.description();
            writeLog(run, L"ERR : Err while API. Err description : " + run.state.gUpTimeError);
            return false;
        });
}

}  // namespace tavrel
