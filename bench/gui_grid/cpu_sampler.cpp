// SPDX-License-Identifier: GPL-3.0-or-later
#include "cpu_sampler.h"

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

std::vector<qint64> ProcessTree(qint64 root, qint64 except) {
    // Parent of every process, from /proc/PID/stat (the field after the parenthesised name and the state).
    std::vector<std::pair<qint64, qint64>> parents;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            const qint64 pid = std::atoll(entry->d_name);
            if (pid <= 0) continue;
            std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
            std::string text;
            std::getline(stat, text);
            const size_t close = text.rfind(')');
            if (close == std::string::npos) continue;
            char state = 0;
            qint64 parent = 0;
            if (std::sscanf(text.c_str() + close + 1, " %c %lld", &state, &parent) == 2)
                parents.emplace_back(pid, parent);
        }
        closedir(proc);
    }
    std::vector<qint64> tree{root};
    for (size_t i = 0; i < tree.size(); ++i) {
        for (const auto& [pid, parent] : parents) {
            if (parent == tree[i] && pid != except) tree.push_back(pid);
        }
    }
    return tree;
}

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
