// Measures how long finding a sample takes on the sample bank's loader thread
// when the user's folder holds 100,000 files: quiet, dated in the future, and
// with another program writing into it every 250 ms. The loop's steps and the
// keys' sounds wait for these lookups; the worst is what a person would hear
// as a late sound.
#include "audio/core/MonotonicClock.h"
#include "sound/SampleFinder.h"
#include "sound/SampleFolders.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <utime.h>

namespace {

constexpr int kFiles = 100'000;

void measure(const char *what, const std::string &user, bool writer)
{
    std::atomic<bool> stop{false};
    std::thread writing;
    if (writer) {
        writing = std::thread([&] {
            for (int i = 0; !stop; ++i) {
                std::ofstream(user + "writing-" + std::to_string(i % 4) + ".tmp") << i;
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
        });
    }
    SampleFinder finder(48000);
    const std::vector<std::string> folders = {user, SampleFolders::program()};
    std::vector<double> ms;
    const char *names[] = {"V", "b", "Laser.wav", "J", " ", "K"};
    for (int i = 0; i < 60; ++i) {
        const std::int64_t t0 = monotonicNs();
        finder.find(names[i % 6], folders);
        ms.push_back(double(monotonicNs() - t0) / 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop = true;
    if (writing.joinable())
        writing.join();
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s first %.2f ms, median %.3f ms, max %.2f ms (60 lookups over 3 s)\n", what, first,
                ms[ms.size() / 2], ms.back());
}

} // namespace

int main()
{
    const std::string user = std::filesystem::temp_directory_path().string() + "/tamvolo-bench-lookup/";
    std::filesystem::remove_all(user);
    std::filesystem::create_directories(user);
    for (int i = 0; i < kFiles; ++i)
        std::ofstream(user + "take" + std::to_string(i) + ".txt");
    utimbuf old = {};
    old.actime = old.modtime = std::time(nullptr) - 60;
    ::utime(user.c_str(), &old);
    measure("100,000 files in the user's folder:", user, false);
    utimbuf future = {};
    future.actime = future.modtime = std::time(nullptr) + 3600;
    ::utime(user.c_str(), &future);
    measure("the same, the folder dated in the future:", user, false);
    measure("the same, written into every 250 ms:", user, true);
    std::filesystem::remove_all(user);
    return 0;
}
