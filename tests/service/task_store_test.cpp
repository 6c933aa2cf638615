// "db.ini" round trips, derived states, bad stored values and the hand-over
// file.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <vector>

#include "service/download_task.h"
#include "service/task_store.h"
#include "tests/service/service_test_support.h"

using namespace qm::win32::net;
using namespace service_test;

namespace {

std::wstring read_ini(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[512] = {};
    GetPrivateProfileStringW(section, key, L"", buffer, 512, path.c_str());
    return buffer;
}

void write_ini(const std::wstring& path, const wchar_t* section, const wchar_t* key,
               const std::wstring& value) {
    WritePrivateProfileStringW(section, key, value.c_str(), path.c_str());
}

std::unique_ptr<download_task> make_task(int id, const std::wstring& url,
                                         const std::wstring& folder, const std::wstring& name,
                                         uint64_t down, uint64_t total, int state) {
    auto task = std::make_unique<download_task>();
    task->task_id = id;
    task->url = url;
    task->folder = folder;
    task->file_name = name;
    task->downloaded_size = down;
    task->total_size = total;
    task->elapsed_ms = 1234;
    task->state = state;
    return task;
}

}  // namespace

TEST(task_store_test, saved_tasks_come_back_with_their_sizes_and_derived_states) {
    const std::wstring folder = scratch_folder(L"store");
    const std::wstring db = folder + L"db.ini";
    write_file(folder + L"a.bin", "done");
    write_file(folder + L"b.bin.td", "half");
    task_list list;
    list.host_package_url = L"http://127.0.0.1/TorvaneSetup.exe";
    list.required_host_version = L"7.2.0.0";
    list.append(make_task(257, L"http://h/a.bin", folder, L"a.bin", 10, 10, dl_state_complete));
    list.append(make_task(258, L"http://h/b.bin", folder, L"b.bin", 5, 20, dl_state_running));
    list.append(make_task(259, L"http://h/c.bin", folder, L"c.bin", 7, 30, dl_state_stopped));
    task_store store;
    store.set_path(db);
    store.save_all(list);
    EXPECT_EQ(read_ini(db, L"Tessaly", L"TaskCount"), L"3");
    EXPECT_EQ(read_ini(db, L"Task2", L"DownSize"), L"5");

    task_list loaded;
    task_store reader;
    reader.set_path(db);
    reader.load_all(loaded);
    ASSERT_EQ(loaded.tasks.size(), 3u);
    EXPECT_EQ(loaded.host_package_url, L"http://127.0.0.1/TorvaneSetup.exe");
    EXPECT_EQ(loaded.required_host_version, L"7.2.0.0");
    EXPECT_EQ(loaded.tasks[0]->state, dl_state_complete);
    EXPECT_EQ(loaded.tasks[0]->task_id, 257);
    EXPECT_EQ(loaded.tasks[1]->state, dl_state_stopped);
    EXPECT_EQ(loaded.tasks[1]->downloaded_size, 5u);
    EXPECT_EQ(loaded.tasks[1]->total_size, 20u);
    EXPECT_EQ(loaded.tasks[1]->elapsed_ms, 1234u);
    EXPECT_EQ(loaded.tasks[1]->folder, folder);
    // Neither the file nor its temporary file: back at 0, stopped.
    EXPECT_EQ(loaded.tasks[2]->downloaded_size, 0u);
    EXPECT_EQ(loaded.tasks[2]->elapsed_ms, 0u);
    EXPECT_EQ(loaded.tasks[2]->total_size, 30u);
    EXPECT_EQ(loaded.tasks[2]->state, dl_state_stopped);
}

TEST(task_store_test, failed_and_predownloading_tasks_keep_their_earlier_section) {
    const std::wstring folder = scratch_folder(L"failed");
    const std::wstring db = folder + L"db.ini";
    task_list list;
    list.append(make_task(257, L"http://h/a.bin", folder, L"a.bin", 5, 20, dl_state_running));
    task_store store;
    store.set_path(db);
    store.save_all(list);
    list.tasks[0]->downloaded_size = 9;
    list.tasks[0]->state = dl_state_failed;
    store.save_all(list);
    EXPECT_EQ(read_ini(db, L"Task1", L"DownSize"), L"5");
    list.tasks[0]->state = dl_state_predownloading;
    store.save_all(list);
    EXPECT_EQ(read_ini(db, L"Task1", L"DownSize"), L"5");
    // A complete task is written with its full size.
    list.tasks[0]->state = dl_state_complete;
    store.save_all(list);
    EXPECT_EQ(read_ini(db, L"Task1", L"DownSize"), L"20");
}

TEST(task_store_test, empty_urls_garbage_numbers_and_huge_counts_load_safely) {
    const std::wstring folder = scratch_folder(L"garbage");
    const std::wstring db = folder + L"db.ini";
    write_file(folder + L"x.bin.td", "half");
    write_ini(db, L"Tessaly", L"TaskCount", L"3");
    write_ini(db, L"Task1", L"Url", L"http://h/1");
    write_ini(db, L"Task1", L"Path", folder);
    write_ini(db, L"Task1", L"Name", L"x.bin");
    write_ini(db, L"Task1", L"DownSize", L"12abc");
    write_ini(db, L"Task1", L"TotalSize", L"99999999999999999999999");
    write_ini(db, L"Task1", L"ID", L"-4");
    write_ini(db, L"Task2", L"Path", folder);
    write_ini(db, L"Task3", L"Url", L"http://h/3");
    write_ini(db, L"Task3", L"TotalSize", L"18446744073709551615");
    write_ini(db, L"Task9", L"Url", L"http://h/9");  // beyond TaskCount
    task_list list;
    task_store store;
    store.set_path(db);
    store.load_all(list);
    ASSERT_EQ(list.tasks.size(), 2u);
    EXPECT_EQ(list.tasks[0]->url, L"http://h/1");
    EXPECT_EQ(list.tasks[0]->downloaded_size, 0u);
    EXPECT_EQ(list.tasks[0]->total_size, 0u);
    EXPECT_EQ(list.tasks[0]->task_id, 257);  // a garbled id gets a fresh one
    EXPECT_EQ(list.tasks[0]->state, dl_state_stopped);
    EXPECT_EQ(list.tasks[1]->url, L"http://h/3");
    EXPECT_EQ(list.tasks[1]->total_size, 18446744073709551615ull);

    // A count far beyond the sections costs nothing.
    write_ini(db, L"Tessaly", L"TaskCount", L"4000000000");
    task_list many;
    const auto start = std::chrono::steady_clock::now();
    store.load_all(many);
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count(), 2000);
    EXPECT_EQ(many.tasks.size(), 3u);  // Task9 now counts too

    task_list none;
    task_store missing;
    missing.set_path(folder + L"no-such-db.ini");
    missing.load_all(none);
    EXPECT_TRUE(none.tasks.empty());
}

TEST(task_store_test, bad_and_duplicate_ids_are_renumbered_and_every_task_survives) {
    const std::wstring folder = scratch_folder(L"ids");
    const std::wstring db = folder + L"db.ini";
    write_ini(db, L"Tessaly", L"TaskCount", L"9");
    // Section: stored ID. Gaps at Task2, Task5 and Task8.
    const std::vector<std::pair<int, std::wstring>> stored = {
        {1, L"4294967295"}, {3, L"258"}, {4, L"258"}, {6, L"0"}, {7, L"abc"}, {9, L"257"},
    };
    for (const auto& entry : stored) {
        const std::wstring section = L"Task" + std::to_wstring(entry.first);
        write_ini(db, section.c_str(), L"Url", L"http://h/" + std::to_wstring(entry.first));
        write_ini(db, section.c_str(), L"ID", entry.second);
        write_ini(db, section.c_str(), L"Path", folder);
    }
    task_list list;
    task_store store;
    store.set_path(db);
    store.load_all(list);
    ASSERT_EQ(list.tasks.size(), stored.size());
    std::set<int> ids;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const auto& task = list.tasks[i];
        EXPECT_EQ(task->url, L"http://h/" + std::to_wstring(stored[i].first));
        EXPECT_GT(task->task_id, 0);
        EXPECT_TRUE(ids.insert(task->task_id).second) << "id given twice: " << task->task_id;
        EXPECT_EQ(list.find_by_id(task->task_id), task.get());
    }
    // Good ids stay as stored; the first of two equal ones keeps it.
    EXPECT_EQ(list.tasks[1]->task_id, 258);
    EXPECT_EQ(list.tasks[5]->task_id, 257);
    EXPECT_NE(list.tasks[2]->task_id, 258);

    // New tasks never take an id already given.
    for (int i = 0; i < 300; ++i) {
        bool created = false;
        const int id = list.create((L"http://new/" + std::to_wstring(i)).c_str(), folder.c_str(),
                                   nullptr, &created);
        ASSERT_TRUE(created);
        EXPECT_TRUE(ids.insert(id).second) << "id given twice: " << id;
    }
}

TEST(task_store_test, the_host_installers_task_comes_back_as_the_environment_task) {
    const std::wstring folder = scratch_folder(L"environment");
    const std::wstring db = folder + L"db.ini";
    task_list list;
    list.host_package_url = L"http://h/TorvaneSetup.exe";
    list.append(make_task(257, L"http://h/game.bin", folder, L"game.bin", 0, 10, dl_state_stopped));
    auto installer = make_task(258, L"http://h/TorvaneSetup.exe", folder, L"TorvaneSetup.exe", 3,
                               10, dl_state_running);
    installer->sign = environment_task_sign;
    list.append(std::move(installer));
    task_store store;
    store.set_path(db);
    store.save_all(list);

    task_list loaded;
    store.load_all(loaded);
    ASSERT_EQ(loaded.tasks.size(), 2u);
    EXPECT_FALSE(loaded.tasks[0]->is_environment_task());
    EXPECT_TRUE(loaded.tasks[1]->is_environment_task());
    EXPECT_EQ(loaded.tasks[1]->url, L"http://h/TorvaneSetup.exe");
}

TEST(task_store_test, stored_numbers_parse_strictly) {
    EXPECT_EQ(parse_stored_number(L"0"), 0u);
    EXPECT_EQ(parse_stored_number(L"123"), 123u);
    EXPECT_EQ(parse_stored_number(L"18446744073709551615"), 18446744073709551615ull);
    EXPECT_EQ(parse_stored_number(L"18446744073709551616"), 0u);
    EXPECT_EQ(parse_stored_number(L" 5"), 0u);
    EXPECT_EQ(parse_stored_number(L"-5"), 0u);
    EXPECT_EQ(parse_stored_number(L""), 0u);
}

TEST(task_store_test, the_transfer_file_sorts_finished_half_done_and_new_tasks) {
    const std::wstring folder = scratch_folder(L"transfer");
    const std::wstring path = folder + L"gametaskinfo.ini";
    write_file(folder + L"b.bin.td", "half");
    std::vector<transfer_entry> entries = {
        {L"http://h/a", folder + L"a.bin", dl_state_complete},
        {L"http://h/b", folder + L"b.bin", dl_state_stopped},
    };
    EXPECT_EQ(write_transfer_file(path, L"1001", entries, 2), 1);
    EXPECT_EQ(read_ini(path, L"GameInfo", L"GameId"), L"1001");
    EXPECT_EQ(read_ini(path, L"GameSuccessTask", L"TaskCount"), L"1");
    EXPECT_EQ(read_ini(path, L"GameSuccessTask", L"urlgametask1"), L"http://h/a");
    EXPECT_EQ(read_ini(path, L"GameTempTask", L"TaskCount"), L"1");
    EXPECT_EQ(read_ini(path, L"GameTempTask", L"pathgametask1"), folder + L"b.bin");
    EXPECT_EQ(read_ini(path, L"GameCreateTask", L"TaskCount"), L"0");

    // Everything finished: only the finished entries, result 0.
    entries[1].state = dl_state_complete;
    EXPECT_EQ(write_transfer_file(path, L"1001", entries, 2), 0);
    EXPECT_EQ(read_ini(path, L"GameSuccessTask", L"urlgametask2"), L"http://h/b");
    EXPECT_EQ(read_ini(path, L"GameInfo", L"GameId"), L"");

    // A mismatch with the configured URLs writes nothing.
    DeleteFileW(path.c_str());
    EXPECT_EQ(write_transfer_file(path, L"1001", entries, 3), 0);
    EXPECT_FALSE(file_exists(path));
}
