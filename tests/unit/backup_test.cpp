// Crash backups: an entry reads back exactly as written or not at all, entry
// names are only ours, and a touch is not a change.
#include "core/backup.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

BackupRecord sample_record() {
  BackupRecord record;
  record.path = "C:\\文档\\笔记.md";
  record.crlf = true;
  record.time = 1796900000;
  record.loaded = DiskState{true, 42, 133000000000000000ULL, 0x1234};
  record.text = std::string("# 标题\n\n正文\0带零字节\n", 28) + "\n\nVESK-BACKUP 1\n";
  return record;
}

TEST(BackupEntry, ReadsBackExactlyAndRefusesAnythingElse) {
  const BackupRecord record = sample_record();
  const std::string bytes = encode_backup(record);
  const auto back = decode_backup(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->path, record.path);
  EXPECT_TRUE(back->crlf);
  EXPECT_EQ(back->time, record.time);
  EXPECT_EQ(back->loaded, record.loaded);
  EXPECT_EQ(back->text, record.text);

  BackupRecord untitled;
  untitled.text = "";
  const auto empty = decode_backup(encode_backup(untitled));
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->path, "");
  EXPECT_FALSE(empty->loaded.exists);

  // Cut short anywhere, one byte of the text changed, or a foreign file.
  for (std::size_t cut : {std::size_t{0}, std::size_t{5}, bytes.size() / 2, bytes.size() - 1}) {
    EXPECT_FALSE(decode_backup(std::string_view(bytes).substr(0, cut))) << cut;
  }
  std::string flipped = bytes;
  flipped.back() ^= 1;
  EXPECT_FALSE(decode_backup(flipped));
  EXPECT_FALSE(decode_backup(bytes + "x"));
  EXPECT_FALSE(decode_backup("# just a Markdown file\n"));
  std::string bad_number = bytes;
  bad_number.replace(bad_number.find("time ") + 5, 1, "x");
  EXPECT_FALSE(decode_backup(bad_number));
}

TEST(BackupEntry, FileNamesAreOnlyTheOnesWeWrite) {
  const BackupOwner owner{4712, 133000000000000001ULL};
  const std::string name = backup_entry_name(owner) + std::string(kBackupSuffix);
  EXPECT_EQ(name, "4712-133000000000000001.vesk-backup");
  EXPECT_EQ(parse_backup_file_name(name), owner);
  for (const char* foreign : {"4712.vesk-backup", "04712-1.vesk-backup", "-1-2.vesk-backup",
                              "4712-1.vesk-backup.tmp-99", "99999999999-1.vesk-backup",
                              "a-1.vesk-backup", "4712-1.txt", ".vesk-backup", "1-.vesk-backup"}) {
    EXPECT_FALSE(parse_backup_file_name(foreign)) << foreign;
  }
}

TEST(DiskChange, ATouchIsNoChangeAndDeletionIsGone) {
  const DiskState loaded = disk_state_of("abc", 100);
  DiskState touched = disk_state_of("abc", 200);
  EXPECT_FALSE(same_size_and_time(loaded, touched));
  EXPECT_EQ(judge_disk_change(loaded, touched), DiskChange::None);
  EXPECT_EQ(judge_disk_change(loaded, disk_state_of("abd", 100)), DiskChange::Changed);
  EXPECT_EQ(judge_disk_change(loaded, disk_state_of("abcd", 200)), DiskChange::Changed);
  EXPECT_EQ(judge_disk_change(loaded, DiskState{}), DiskChange::Gone);
  EXPECT_EQ(judge_disk_change(DiskState{}, DiskState{}), DiskChange::None);
  EXPECT_EQ(judge_disk_change(DiskState{}, loaded), DiskChange::Changed);
}

TEST(RecoveryQuestion, ListsEachEntryAndOnlyExactWordsAnswer) {
  const std::string text = recovery_list_text({{"a.md", "2026-12-10 14:03", 512, false},
                                               {"未命名", "2026-12-10 14:05", 3 * 1024 * 1024, true}});
  EXPECT_EQ(text, "a.md，2026-12-10 14:03，512 字节\n未命名，2026-12-10 14:05，3.0 MB（磁盘上的文件已被修改）");
  RecoverAnswer answer = RecoverAnswer::Later;
  EXPECT_TRUE(recover_answer_from_environment("restore", answer));
  EXPECT_EQ(answer, RecoverAnswer::Restore);
  EXPECT_TRUE(recover_answer_from_environment("discard", answer));
  EXPECT_EQ(answer, RecoverAnswer::Discard);
  for (const char* other : {"", "Restore", " restore", "later", "yes"}) {
    EXPECT_FALSE(recover_answer_from_environment(other, answer)) << other;
  }
}

}  // namespace
}  // namespace vesk
