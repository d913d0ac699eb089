// Stands in for an installed program that the installer opens. Copies of it under several names
// record, each in a file of its own beside the copy (NAME.exe.launch), when their process was
// created and the show command they were started with:
//   created=<creation time in 100 ns units>
//   show=<wShowWindow, or -1 when the start did not set one>
// Programs opened one after the other race to their first write, so the order of the openings is
// proven by the creation times, which the system fixes at the opening.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return 1;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;

    char self[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) {
        return 1;
    }
    const unsigned long long ticks =
        (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    const std::string record =
        "created=" + std::to_string(ticks) + "\nshow=" + std::to_string(show) + "\n";
    FILE* file = std::fopen((std::string(self) + ".launch").c_str(), "wb");
    if (file == nullptr) {
        return 1;
    }
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}
