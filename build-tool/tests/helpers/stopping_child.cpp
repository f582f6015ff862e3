// Stands in for a release program that is still running when the tool is stopped: writes its
// own process id to "child.pid" in its working folder, stops its parent the way a person or a
// launcher does (POSIX: the signal named by STOPPING_CHILD_SIGNAL, "INT", "HUP" or by default
// SIGTERM; Windows:
// TerminateProcess, as a launcher's Cancel does), then stays alive for up to ten minutes. A tool
// that ends its children leaves no such program behind.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
unsigned long own_id() {
    return GetCurrentProcessId();
}
void stop_parent(const char *) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, parent)) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}
#else
unsigned long own_id() {
    return static_cast<unsigned long>(::getpid());
}
void stop_parent(const char *name) {
    int signal = SIGTERM;
    if (name != nullptr && std::strcmp(name, "INT") == 0)
        signal = SIGINT;
    else if (name != nullptr && std::strcmp(name, "HUP") == 0)
        signal = SIGHUP;
    ::kill(::getppid(), signal);
}
#endif

} // namespace

int main() {
    {
        std::ofstream pid("child.pid", std::ios::binary);
        pid << own_id();
    }
    stop_parent(std::getenv("STOPPING_CHILD_SIGNAL"));
    for (int i = 0; i < 600; ++i)
        std::this_thread::sleep_for(std::chrono::seconds(1));
    return 0;
}
