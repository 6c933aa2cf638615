#include "host/host_paths.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <memory>

#include "host/file_utils.h"
#include "tests/host/test_folder.h"

namespace {

std::wstring common_documents() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, path);
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

TEST(ProgramFolders, ExecutableAndModuleFolderEndInABackslash) {
    wchar_t exe[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    const std::wstring directory = program_directory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), L'\\');
    EXPECT_EQ(directory + file_name_part(exe), exe);

    std::wstring out;
    EXPECT_EQ(executable_folder(out), 1);
    EXPECT_EQ(out, directory);
    out.clear();
    EXPECT_EQ(module_folder(out), 1);  // linked statically: the same module
    EXPECT_EQ(out, directory);

    EXPECT_EQ(temporary_folder(out), 1);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), L'\\');
    EXPECT_EQ(is_folder(out), 1);
}

TEST(HostFolders, NeedTheInstallFolder) {
    FakeHostKey host;
    std::wstring out = L"keep";
    EXPECT_EQ(profiles_folder(out), 0);
    EXPECT_EQ(skin_folder(out), 0);
    EXPECT_EQ(out, L"keep");
}

TEST(HostFolders, HostOnTheSystemDriveUsesThePublicDocumentsFolder) {
    FakeHostKey host;
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    ASSERT_TRUE(host.set(L"instdir", std::wstring(system, 3) + L"Program Files\\Torvane"));
    const std::wstring documents = common_documents();
    ASSERT_FALSE(documents.empty());
    std::wstring out;
    EXPECT_EQ(profiles_folder(out), 1);
    EXPECT_EQ(out, documents + L"Torvane Network\\Torvane\\Profiles\\");
    EXPECT_EQ(skin_folder(out), 1);
    EXPECT_EQ(out, documents + L"Torvane Network\\Torvane\\Skin\\");
}

TEST(HostFolders, HostOnAnotherDriveKeepsThemInItsInstallFolder) {
    const std::wstring base = other_drive_base();
    if (base.empty()) {
        GTEST_SKIP() << "no second fixed drive";
    }
    FakeHostKey host;
    ASSERT_TRUE(host.set(L"instdir", base + L"Torvane"));
    std::wstring out;
    EXPECT_EQ(profiles_folder(out), 1);
    EXPECT_EQ(out, base + L"Torvane\\Profiles\\");
    EXPECT_EQ(skin_folder(out), 1);
    EXPECT_EQ(out, base + L"Torvane\\Skin\\");
}

class SkinInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::wstring base = other_drive_base();
        if (base.empty()) {
            GTEST_SKIP() << "no second fixed drive";
        }
        install_ = std::make_unique<TestFolder>(base);
        packages_ = std::make_unique<TestFolder>();
        ASSERT_TRUE(install_->ok());
        ASSERT_TRUE(packages_->ok());
        ASSERT_TRUE(host_.set(L"instdir", install_->path()));
        skins_ = install_->path() + L"Skin\\";
        config_ = install_->path() + L"Profiles\\Config.ini";
    }

    std::unique_ptr<TestFolder> install_, packages_;
    FakeHostKey host_;
    std::wstring skins_, config_;
};

TEST_F(SkinInstall, SecondCopyGetsANumberInFrontAndIsSelected) {
    const std::wstring package = packages_->path() + L"blue.skn";
    ASSERT_TRUE(write_file(package, "skin"));

    EXPECT_EQ(install_skin(package), 1);  // makes the host's folders when missing
    EXPECT_TRUE(file_exists(skins_ + L"blue.skn"));
    EXPECT_EQ(ini_value(config_, L"Skin", L"Scheme"), L"blue.skn::default");

    ASSERT_TRUE(WritePrivateProfileStringW(L"Skin", L"Package", L"old", config_.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"Skin", L"ColorScheme", L"old", config_.c_str()));
    EXPECT_EQ(install_skin(package), 1);
    EXPECT_TRUE(file_exists(skins_ + L"(1)blue.skn"));
    EXPECT_EQ(ini_value(config_, L"Skin", L"Scheme"), L"(1)blue.skn::default");
    EXPECT_EQ(ini_value(config_, L"Skin", L"Package"), L"");
    EXPECT_EQ(ini_value(config_, L"Skin", L"ColorScheme"), L"");

    EXPECT_EQ(install_skin(package), 1);
    EXPECT_TRUE(file_exists(skins_ + L"(2)blue.skn"));
    EXPECT_EQ(ini_value(config_, L"Skin", L"Scheme"), L"(2)blue.skn::default");
}

TEST_F(SkinInstall, MissingPackageOrThePackageItselfChangesNothing) {
    EXPECT_EQ(install_skin(packages_->path() + L"missing.skn"), 0);
    EXPECT_EQ(install_skin(L""), 0);
    EXPECT_FALSE(file_exists(config_));

    ASSERT_TRUE(create_folder_tree(skins_));
    const std::wstring installed = skins_ + L"red.skn";
    ASSERT_TRUE(write_file(installed, "skin"));
    std::wstring upper = installed;
    CharUpperW(&upper[0]);
    EXPECT_EQ(install_skin(upper), 0);
    EXPECT_FALSE(file_exists(skins_ + L"(1)red.skn"));
    EXPECT_FALSE(file_exists(config_));
}

TEST(Shortcut, PathIsOnTheCommonDesktop) {
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_TRUE(
        SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, desktop)));
    const std::wstring name = L"tessaly-host-test-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring expected = std::wstring(desktop) + L"\\" + name + L".lnk";
    std::wstring out;
    EXPECT_EQ(shortcut_exists(name, out), 0);
    EXPECT_EQ(out, expected);
    create_folder_tree(desktop);
    ASSERT_TRUE(write_file(expected, "link"));
    out.clear();
    EXPECT_EQ(shortcut_exists(name, out), 1);
    EXPECT_EQ(out, expected);
    DeleteFileW(expected.c_str());
}

}  // namespace
