// A fresh folder under the system's temporary folder, removed afterwards;
// the same on every platform (std::filesystem, a random name made at once).
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix = "scratch")
    {
        std::random_device seed;
        std::mt19937_64 random(seed());
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "-%012llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
            std::error_code error;
            // create_directory makes it or reports that it was there: a
            // name another run took is never shared.
            if (std::filesystem::create_directory(base / (prefix + name), error)) {
                path_ = (base / (prefix + name)).generic_string();
                return;
            }
        }
        throw std::runtime_error("cannot make a scratch folder in " + base.string());
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // With '/' between the parts on every platform, as the engine writes paths.
    std::string operator/(const std::string& relative) const { return (path_ / relative).generic_string(); }

private:
    std::filesystem::path path_;
};
