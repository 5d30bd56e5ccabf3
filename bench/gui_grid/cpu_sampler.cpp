#include "cpu_sampler.h"

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <string>

namespace {

double RunSeconds(const std::string& task) {
    std::ifstream schedstat(task + "/schedstat");
    double run_ns = 0;
    schedstat >> run_ns;
    return run_ns / 1e9;
}

}  // namespace

CpuSample SampleProcesses(const std::vector<qint64>& pids) {
    CpuSample sample;
    sample.wall_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    for (qint64 pid : pids) {
        const std::string folder = "/proc/" + std::to_string(pid) + "/task";
        DIR* tasks = opendir(folder.c_str());
        if (!tasks) continue;
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            const double seconds = RunSeconds(folder + "/" + entry->d_name);
            sample.total_s += seconds;
            if (std::to_string(pid) == entry->d_name) sample.main_s += seconds;
        }
        closedir(tasks);
    }
    return sample;
}
