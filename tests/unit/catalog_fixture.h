// A private directory, an environment of the test's own, and catalogs written into it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gencat.h>
#include <zav/locale.h>
#include <zav/startup.h>
#include <zav/text_message.h>

class CatalogFixture : public testing::Test {
 protected:
  void SetUp() override {
    saved_environ_ = zav::environ_;
    dir_ = std::filesystem::temp_directory_path() /
           ("zav-ms-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    set_env({});
    zav::close_text_catalog();
    zav::setlocale(zav::LC_ALL_, "POSIX");
  }
  void TearDown() override {
    zav::close_text_catalog();
    zav::setlocale(zav::LC_ALL_, "POSIX");
    zav::environ_ = saved_environ_;
    std::filesystem::remove_all(dir_);
  }

  void set_env(std::vector<std::string> entries) {
    env_strings_ = std::move(entries);
    env_.clear();
    for (auto& e : env_strings_) env_.push_back(e.data());
    env_.push_back(nullptr);
    zav::environ_ = env_.data();
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write_bytes(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::filesystem::create_directories((dir_ / name).parent_path());
    std::ofstream f(dir_ / name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path(name);
  }

  std::string write_catalog(const std::string& name, const std::vector<gencat::message>& messages) {
    return write_bytes(name, gencat::build(messages));
  }

  std::filesystem::path dir_;

 private:
  char** saved_environ_ = nullptr;
  std::vector<std::string> env_strings_;
  std::vector<char*> env_;
};
