#pragma once
#include <string>
#include <vector>

namespace tovik::bench {

// Proportional set size of one process, split as the kernel reports it.
struct ProcessMemory {
    int pid;
    std::string name;
    long pss_kib;
    long anon_kib;
    long file_kib;
};

// This process and every process started below it (WebKit's web and network processes).
[[nodiscard]] std::vector<ProcessMemory> process_tree_memory();

// One line per process and the whole tree's total.
[[nodiscard]] std::string describe_memory(const std::vector<ProcessMemory>& tree);

}  // namespace tovik::bench
