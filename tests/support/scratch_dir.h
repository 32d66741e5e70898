#pragma once
// A temporary folder for one test or benchmark, removed with everything in it afterwards.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class ScratchDir {
public:
    // `tag` names the folder ("vantrel-TAG-XXXXXX"), so that one left behind by a killed run
    // says where it came from.
    explicit ScratchDir(const std::string& tag = "test") {
        std::string pattern = (std::filesystem::temp_directory_path() / ("vantrel-" + tag + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder from " + pattern);
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The path of `name` below the folder, as text (a database file, a log).
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Writes `text` to a file below the folder, making its folders.
    std::filesystem::path write(const std::string& relative, const std::string& text) const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

private:
    std::filesystem::path path_;
};
