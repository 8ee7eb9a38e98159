// The runner spawns the binary with its three standard streams on files of
// the test's folder, which keeps large outputs out of pipes and deadlocks.
#include "tool_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

void ToolDesign::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pagemap-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    writeFile("libs.defs", "# test libraries\nwork libs/work\ngates libs/gates\n");
}

void ToolDesign::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

ToolResult ToolDesign::run(const std::vector<std::string> &arguments, const std::string &input,
                           const std::string &directory, const std::string &stdoutPath) const {
    const std::string inPath = writeFile("run.in", input);
    const std::string outPath = stdoutPath.empty() ? (root_ / "run.out").string() : stdoutPath;
    const std::string errPath = (root_ / "run.err").string();

    // Where the build's programs run under an emulator (a 32-bit build on a
    // kernel without 32-bit support), the tool runs under it as well.
    std::vector<std::string> words;
    std::istringstream emulatorWords(PAGEMAP_EMULATOR);
    for (std::string word; emulatorWords >> word;)
        words.push_back(word);
    words.emplace_back(PAGEMAP_BIN);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const std::string folder = directory.empty() ? root_.string() : directory;
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    ToolResult result;
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot run " << argv[0];
    if (spawned != 0) return result;
    int wait = 0;
    waitpid(child, &wait, 0);
    if (WIFEXITED(wait)) result.status = WEXITSTATUS(wait);
    if (stdoutPath.empty()) result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

ToolResult ToolDesign::runWithLibs(const std::vector<std::string> &arguments,
                                   const std::string &input) const {
    std::vector<std::string> withLibs{"--libs", (root_ / "libs.defs").string()};
    withLibs.insert(withLibs.end(), arguments.begin(), arguments.end());
    return run(withLibs, input);
}

std::string ToolDesign::makeUnit(const std::string &lib, const std::string &cell,
                                 const std::string &view) const {
    const auto directory = root_ / "libs" / lib / cell / view;
    std::filesystem::create_directories(directory);
    return directory.string();
}

std::string ToolDesign::writeMap(const std::string &lib, const std::string &cell,
                                 const std::string &view, const std::string &text) const {
    makeUnit(lib, cell, view);
    const std::string path = mapPath(lib, cell, view);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string ToolDesign::mapPath(const std::string &lib, const std::string &cell,
                                const std::string &view) const {
    return (root_ / "libs" / lib / cell / view / "page.map").string();
}

std::string ToolDesign::readFile(const std::string &path) const {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ToolDesign::writeFile(const std::string &relative, const std::string &text) const {
    const auto path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}
