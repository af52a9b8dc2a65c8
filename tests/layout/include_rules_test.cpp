// Each folder's CMakeLists.txt opens with the folders its code may include, for example
//   # send/: varlo-send, the generator's commands from a shell; uses program/, serial/, panel/.
// These tests read the source tree and hold every #include "..." to being written from the
// repository root, to the line of the folder it is in, and to a file of its own target or of
// one its target links; and the files of the Qt-free libraries to including no Qt header,
// neither directly nor through a header of the project.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path Root = fs::weakly_canonical(VARLO_SOURCE_DIR);

std::string fromRoot(const fs::path& path)
{
    return path.lexically_relative(Root).generic_string();
}

// The C++ files of the tree, outside build directories, Git's and the fuzzers' corpora.
std::vector<fs::path> sourceFiles()
{
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(Root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() &&
            (name.starts_with("build") || name.starts_with(".") || name == "corpus")) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() &&
            (it->path().extension() == ".h" || it->path().extension() == ".cpp"))
            files.push_back(it->path());
    }
    return files;
}

// The folder a file belongs to: the nearest directory above it with a CMakeLists.txt, as
// "send/" or "instrument/pty/"; empty for the root.
std::string folderOf(const fs::path& file)
{
    for (fs::path dir = file.parent_path(); dir != Root && dir.has_relative_path();
         dir = dir.parent_path()) {
        if (fs::exists(dir / "CMakeLists.txt"))
            return fromRoot(dir) + "/";
    }
    return {};
}

struct FolderRule {
    std::set<std::string> uses;
    std::string line;
};

// "# <folder>/: what it is; uses a/, b/." or "...; uses nothing."; nullopt when the first line
// is not of that form or names another folder.
std::optional<FolderRule> readRule(const std::string& folder)
{
    std::ifstream in(Root / folder / "CMakeLists.txt");
    std::string line;
    std::getline(in, line);
    const std::string head = "# " + folder + ":";
    const std::size_t uses = line.rfind("; uses ");
    if (!line.starts_with(head) || uses == std::string::npos)
        return std::nullopt;
    FolderRule rule{{}, line};
    const std::string list = line.substr(uses + 7);
    if (list.starts_with("nothing"))
        return rule;
    static const std::regex folderName(R"(([a-z0-9_]+(/[a-z0-9_]+)*/)(, |\.|;|$))");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), folderName);
         it != std::sregex_iterator(); ++it)
        rule.uses.insert((*it)[1].str());
    if (rule.uses.empty())
        return std::nullopt;
    return rule;
}

std::vector<std::string> includes(const fs::path& file, const std::regex& form)
{
    std::vector<std::string> names;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_search(line, match, form))
            names.push_back(match[1].str());
    }
    return names;
}

std::vector<std::string> projectIncludes(const fs::path& file)
{
    static const std::regex quoted(R"re(^\s*#\s*include\s*"([^"]+)")re");
    return includes(file, quoted);
}

// An include as the compiler finds it: beside the file, from the root, or through a target's
// include directory, which is the one file of the tree whose path ends in the name.
std::optional<fs::path> resolve(const fs::path& includer, const std::string& name,
                                const std::vector<fs::path>& tree)
{
    for (const fs::path& candidate : {includer.parent_path() / name, Root / name}) {
        if (fs::exists(candidate))
            return fs::weakly_canonical(candidate);
    }
    std::optional<fs::path> found;
    for (const fs::path& file : tree) {
        if (file.generic_string().ends_with("/" + name)) {
            if (found)
                return std::nullopt;
            found = file;
        }
    }
    return found;
}

TEST(FolderRules, EveryFolderOpensWithTheFoldersItUses)
{
    std::set<std::string> folders;
    for (const fs::path& file : sourceFiles())
        folders.insert(folderOf(file));
    EXPECT_FALSE(folders.contains("")) << "a C++ file lies outside every folder";
    for (const char* folder : {"app/",
                               "panel/",
                               "entry/",
                               "settings/",
                               "protocol/",
                               "serial/",
                               "program/",
                               "send/",
                               "instrument/",
                               "instrument/pty/",
                               "scpi/",
                               "scpi/language/",
                               "scpi/generator/",
                               "scpi/network/",
                               "scpi/socket/",
                               "scpi/web/",
                               "scpi/mdns/",
                               "scpi/vxi11/",
                               "scpi_client/",
                               "tests/",
                               "tests/layout/",
                               "tests/instrument/",
                               "tests/send/",
                               "tests/scpi/",
                               "fuzz/",
                               "tools/bench/"})
        EXPECT_TRUE(folders.contains(folder)) << folder;
    for (const std::string& folder : folders) {
        if (!folder.empty()) {
            EXPECT_TRUE(readRule(folder)) << folder << "CMakeLists.txt: the first line is not "
                                          << "\"# " << folder << ": ...; uses a/, b/.\"";
        }
    }
}

TEST(FolderRules, EveryIncludeIsOfItsOwnFolderOrOneItsLineNames)
{
    const std::vector<fs::path> tree = sourceFiles();
    std::map<std::string, std::optional<FolderRule>> rules;
    int checked = 0;
    for (const fs::path& file : tree) {
        const std::string folder = folderOf(file);
        if (!rules.contains(folder))
            rules[folder] = readRule(folder);
        if (!rules[folder])
            continue; // the test above names it
        for (const std::string& name : projectIncludes(file)) {
            const auto target = resolve(file, name, tree);
            if (!target) {
                ADD_FAILURE() << fromRoot(file) << " includes \"" << name
                              << "\", which is no single file of the tree";
                continue;
            }
            const std::string used = folderOf(*target);
            ++checked;
            EXPECT_TRUE(used == folder || rules[folder]->uses.contains(used))
                << fromRoot(file) << " includes " << fromRoot(*target) << ", but " << folder
                << "CMakeLists.txt says: " << rules[folder]->line;
        }
    }
    EXPECT_GT(checked, 200) << "the includes of the tree were not found";
}

// varlo-scpi's ways in are the folders whose line says "a way in". Each speaks the SCPI
// language and none leans on another, so that a way in is added or taken away alone; the
// language and the generator's owner know of none of them.
TEST(FolderRules, EveryWayInUsesTheLanguageAndNoOtherWayIn)
{
    std::set<std::string> waysIn;
    std::map<std::string, FolderRule> rules;
    for (const fs::path& file : sourceFiles()) {
        const std::string folder = folderOf(file);
        if (rules.contains(folder))
            continue;
        if (const std::optional<FolderRule> rule = readRule(folder)) {
            rules[folder] = *rule;
            if (rule->line.starts_with("# " + folder + ": a way in:"))
                waysIn.insert(folder);
        }
    }
    EXPECT_TRUE(waysIn.contains("scpi/socket/") && waysIn.contains("scpi/web/") &&
                waysIn.contains("scpi/mdns/"))
        << "the ways in were not found";
    for (const std::string& wayIn : waysIn) {
        EXPECT_TRUE(rules[wayIn].uses.contains("scpi/language/")) << rules[wayIn].line;
        for (const std::string& other : waysIn)
            EXPECT_FALSE(rules[wayIn].uses.contains(other)) << rules[wayIn].line;
    }
    for (const char* inner : {"scpi/language/", "scpi/generator/", "scpi/network/"})
        for (const std::string& wayIn : waysIn)
            EXPECT_FALSE(rules[inner].uses.contains(wayIn)) << rules[inner].line;
}

TEST(IncludeRules, EveryIncludeIsWrittenFromTheRoot)
{
    int checked = 0;
    for (const fs::path& file : sourceFiles()) {
        for (const std::string& name : projectIncludes(file)) {
            ++checked;
            EXPECT_TRUE(fs::is_regular_file(Root / name))
                << fromRoot(file) << " includes \"" << name << "\", which is no path from the "
                << "repository root";
        }
    }
    EXPECT_GT(checked, 200) << "the includes of the tree were not found";
}

// Every target of the tree as CMake configured it: its files and the targets it links.
struct Target {
    std::set<fs::path> files;
    std::vector<std::string> links;
};

std::map<std::string, Target> configuredTargets()
{
    std::map<std::string, Target> targets;
    std::ifstream in(VARLO_TARGETS);
    Target* target = nullptr;
    fs::path dir;
    for (std::string line; std::getline(in, line);) {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (key == "target")
            target = &targets[value];
        else if (key == "dir")
            dir = value;
        else if (key == "source" && target)
            target->files.insert(fs::weakly_canonical(dir / value));
        else if (key == "link" && target)
            target->links.push_back(value);
    }
    return targets;
}

// The target's name and the names of all it links, directly or through others.
std::set<std::string> linkedFrom(const std::map<std::string, Target>& targets,
                                 const std::string& name)
{
    std::set<std::string> reached{name};
    std::vector<std::string> next{name};
    while (!next.empty()) {
        const auto target = targets.find(next.back());
        next.pop_back();
        if (target == targets.end())
            continue; // Qt's, GoogleTest's, the system's
        for (const std::string& link : target->second.links)
            if (reached.insert(link).second)
                next.push_back(link);
    }
    return reached;
}

// A file of a library may include only what that library and the libraries it links hold:
// the folder's line would let a file of the panel's state include protocol/enter.h, its
// library does not. Files that no configured target builds (the fuzzers, the benchmark) are
// held to their folder's line alone.
TEST(IncludeRules, EveryIncludeIsOfItsTargetOrATargetItLinks)
{
    const std::map<std::string, Target> targets = configuredTargets();
    ASSERT_GT(targets.size(), 30U) << "no list of the targets at " VARLO_TARGETS;
    std::map<fs::path, std::vector<std::string>> owners;
    for (const auto& [name, target] : targets)
        for (const fs::path& file : target.files)
            owners[file].push_back(name);
    int checked = 0;
    for (const auto& [file, fileTargets] : owners) {
        if (!fs::exists(file))
            continue;
        for (const std::string& name : projectIncludes(file)) {
            const fs::path included = fs::weakly_canonical(Root / name);
            const auto holders = owners.find(included);
            if (holders == owners.end()) {
                ADD_FAILURE() << fromRoot(file) << " includes " << name
                              << ", which no target lists among its files";
                continue;
            }
            for (const std::string& owner : fileTargets) {
                ++checked;
                const std::set<std::string> reached = linkedFrom(targets, owner);
                EXPECT_TRUE(std::ranges::any_of(
                    holders->second,
                    [&](const std::string& holder) { return reached.contains(holder); }))
                    << fromRoot(file) << " of " << owner << " includes " << name << " of "
                    << holders->second.front() << ", which " << owner << " does not link";
            }
        }
    }
    EXPECT_GT(checked, 200) << "the includes of the targets were not found";
}

// The Qt-free libraries' files, as CMake lists them: blocks of a source directory followed by
// its files, one per line.
std::set<fs::path> qtFreeFiles()
{
    std::set<fs::path> files;
    std::ifstream in(VARLO_QT_FREE_SOURCES);
    fs::path dir;
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            dir.clear();
        else if (dir.empty())
            dir = line;
        else
            files.insert(fs::weakly_canonical(dir / line));
    }
    return files;
}

TEST(QtFreeCore, IncludesNoQtHeaderNorAHeaderThatDoes)
{
    static const std::regex angled(R"(^\s*#\s*include\s*<([^>]+)>)");
    const std::vector<fs::path> tree = sourceFiles();
    const std::set<fs::path> core = qtFreeFiles();
    ASSERT_GT(core.size(), 40U) << "no list of the Qt-free libraries at " VARLO_QT_FREE_SOURCES;
    for (const fs::path& file : core) {
        for (const std::string& name : includes(file, angled))
            EXPECT_FALSE(name.starts_with("Q")) << fromRoot(file) << " includes <" << name << ">";
        for (const std::string& name : projectIncludes(file)) {
            const auto target = resolve(file, name, tree);
            EXPECT_TRUE(target && core.contains(*target))
                << fromRoot(file) << " includes \"" << name
                << "\", which is not a file of a Qt-free library";
        }
    }
}

} // namespace
