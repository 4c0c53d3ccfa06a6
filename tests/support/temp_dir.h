// A fresh directory for one test, removed with everything in it when the
// object goes. Portable: tests also run as Windows programs.
#pragma once

#include <filesystem>
#include <random>
#include <string>

class TempDir {
  public:
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("versit-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(path_, error)) break;
        }
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::string file(const std::string &name) const { return (path_ / name).string(); }
    bool exists(const std::string &name) const { return std::filesystem::exists(path_ / name); }
    bool empty() const { return std::filesystem::is_empty(path_); }

  private:
    std::filesystem::path path_;
};
