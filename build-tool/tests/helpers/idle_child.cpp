// A process that stays alive until it is ended, for tests that need a running process id.
#include <chrono>
#include <thread>

int main() {
    for (int i = 0; i < 600; ++i) // gives up after ten minutes if nobody ends it
        std::this_thread::sleep_for(std::chrono::seconds(1));
    return 0;
}
