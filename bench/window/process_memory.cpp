#include "process_memory.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace tovik::bench {

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long field_kib(const std::string& rollup, const std::string& name) {
    const auto at = rollup.find("\n" + name + ":");
    return at == std::string::npos ? 0 : std::atol(rollup.c_str() + at + name.size() + 2);
}

}  // namespace

std::vector<ProcessMemory> process_tree_memory() {
    std::map<int, int> parent_of;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = read_text(entry.path() / "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        int parent = 0;
        char state = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2) parent_of[std::stoi(name)] = parent;
    }
    std::set<int> tree{static_cast<int>(::getpid())};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : parent_of)
            if (tree.count(parent) && tree.insert(pid).second) grew = true;
    }
    std::vector<ProcessMemory> out;
    for (const int pid : tree) {
        const fs::path dir = fs::path("/proc") / std::to_string(pid);
        std::string name = read_text(dir / "comm");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        const std::string rollup = "\n" + read_text(dir / "smaps_rollup");
        out.push_back({pid, name, field_kib(rollup, "Pss"), field_kib(rollup, "Pss_Anon"), field_kib(rollup, "Pss_File")});
    }
    return out;
}

std::string describe_memory(const std::vector<ProcessMemory>& tree) {
    std::string text;
    long total = 0;
    char line[200];
    for (const auto& p : tree) {
        std::snprintf(line, sizeof line, "  %-22s PSS %6.1f MiB (anonymous %6.1f, files %6.1f)\n", p.name.c_str(),
                      p.pss_kib / 1024.0, p.anon_kib / 1024.0, p.file_kib / 1024.0);
        text += line;
        total += p.pss_kib;
    }
    std::snprintf(line, sizeof line, "  %-22s PSS %6.1f MiB\n", "whole tree", total / 1024.0);
    return text + line;
}

}  // namespace tovik::bench
