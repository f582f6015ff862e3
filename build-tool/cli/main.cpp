// Entry of ormolt-build.
#include "platform/platform.h"

int main() {
    ormolt::platform::prepare_standard_streams();
    return 64;
}
