#pragma once
// Runs terraweft-host in scripted mode from a test: the script's lines in, one JSON value per
// event line out. Header-only.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

extern char** environ;

namespace hostprogram {

struct Run {
    std::vector<nlohmann::json> events;
    int exitCode = -1;
};

// The environment of a spawned program: this process's, with the assignments given
// ("NAME=value") replacing those of the same names.
inline std::vector<std::string> environmentWith(const std::vector<std::string>& assignments) {
    std::vector<std::string> env = assignments;
    const auto named = [&assignments](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        for (const std::string& a : assignments) {
            if (a.starts_with(name))
                return true;
        }
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!named(*e))
            env.emplace_back(*e);
    }
    return env;
}

// Runs `program --script` on the lines with its home, temporary and data folders (HOME, TMPDIR,
// XDG_DATA_HOME) in `folder` and the further environment assignments; waits for it to end.
// Runs may go side by side. A line of output that is not JSON fails the test.
inline Run runScript(const std::string& program, const std::vector<std::string>& script,
                     const std::string& folder, const std::vector<std::string>& assignments = {}) {
    const std::string in = folder + "/script.jsonl", out = folder + "/out.jsonl";
    {
        std::ofstream file(in);
        for (const auto& line : script)
            file << line << '\n';
    }
    std::vector<std::string> own = {"HOME=" + folder, "TMPDIR=" + folder,
                                    "XDG_DATA_HOME=" + folder};
    own.insert(own.end(), assignments.begin(), assignments.end());
    std::vector<std::string> env = environmentWith(own);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string path = program, flag = "--script", input = in;
    std::vector<char*> argv{path.data(), flag.data(), input.data(), nullptr};
    pid_t pid = 0;
    Run run;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream output(out);
    for (std::string line; std::getline(output, line);) {
        nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(event.is_discarded()) << line;
        run.events.push_back(std::move(event));
    }
    return run;
}

}  // namespace hostprogram
