#include "Clock.h"
namespace za {
TClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}
} // namespace za
