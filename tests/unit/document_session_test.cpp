// DocumentSession: what a save needs, the work deferred behind it, and the
// line ends a document keeps from open to save.
#include "core/document_session.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(DocumentSession, SavePlanAsksForAPathOnlyWhenUntitledOrSaveAs) {
  DocumentSession session;
  SavePlan plan = session.plan_save("C:\\Docs");
  EXPECT_TRUE(plan.ask_for_path);
  EXPECT_EQ(plan.proposed, "C:\\Docs\\未命名.md");

  session.opened("D:\\notes\\a.md", "x\n");
  plan = session.plan_save("C:\\Docs");
  EXPECT_FALSE(plan.ask_for_path);
  EXPECT_EQ(plan.path, "D:\\notes\\a.md");

  // A save-as request is taken by the one save it was made for.
  session.request_save(true);
  plan = session.plan_save("C:\\Docs");
  EXPECT_TRUE(plan.ask_for_path);
  EXPECT_EQ(plan.proposed, "D:\\notes\\a.md");
  EXPECT_FALSE(session.plan_save("C:\\Docs").ask_for_path);

  // A new document proposes the folder of the one before it.
  session.started_new();
  EXPECT_EQ(session.plan_save("C:\\Docs").proposed, "D:\\notes\\未命名.md");
  EXPECT_EQ(DocumentSession::chosen_save_path("D:\\x\\b"), "D:\\x\\b.md");
}

TEST(DocumentSession, DeferredWorkRunsOnceAndOnlyAfterASuccessfulSave) {
  DocumentSession session;
  session.defer(AfterSaveAction::OpenPath, "E:\\next.md");
  session.save_abandoned();
  EXPECT_EQ(session.saved("E:\\a.md").action, AfterSaveAction::None);

  session.defer(AfterSaveAction::OpenPath, "E:\\next.md");
  const DeferredAction taken = session.saved("E:\\sub\\b.md");
  EXPECT_EQ(taken.action, AfterSaveAction::OpenPath);
  EXPECT_EQ(taken.path, "E:\\next.md");
  EXPECT_EQ(session.saved("E:\\sub\\b.md").action, AfterSaveAction::None);
  EXPECT_EQ(session.path(), "E:\\sub\\b.md");
  EXPECT_EQ(session.folder(), "E:\\sub");
}

TEST(DocumentSession, LineEndsFollowTheTextThatWasLoaded) {
  DocumentSession session;
  session.opened("C:\\w.md", "a\r\nb\r\n");
  EXPECT_EQ(session.bytes_for_save("a\nb\nc"), "a\r\nb\r\nc");
  session.started_new();
  EXPECT_EQ(session.bytes_for_save("a\nb"), "a\nb");
  session.loaded_untitled("dropped\r\n");
  EXPECT_TRUE(session.uses_crlf());
  EXPECT_TRUE(session.untitled());
  EXPECT_EQ(session.folder(), "");
}

// A rename from the folder panel: a new name and folder, the same bytes, so
// neither the line ends nor the file as last seen change.
TEST(DocumentSession, AMovedDocumentKeepsItsLineEndsAndDiskState) {
  DocumentSession session;
  DiskState disk;
  disk.exists = true;
  disk.size = 6;
  disk.hash = 42;
  session.opened("C:\\notes\\w.md", "a\r\nb\r\n", disk);
  session.moved_to("C:\\book\\第一章.md");
  EXPECT_EQ(session.path(), "C:\\book\\第一章.md");
  EXPECT_EQ(session.folder(), "C:\\book");
  EXPECT_TRUE(session.uses_crlf());
  EXPECT_EQ(session.disk(), disk);
}

TEST(DocumentSession, OtherProgramsChangesReloadAskOrKeepTheText) {
  DocumentSession session;
  const DiskState loaded = disk_state_of("one", 10);
  session.opened("C:\\d\\a.md", "one", loaded);

  // A touch is no change, and its time is remembered.
  const DiskState touched = disk_state_of("one", 20);
  EXPECT_EQ(session.on_disk_seen(touched, judge_disk_change(session.disk(), touched), true),
            ExternalAction::None);
  EXPECT_TRUE(same_size_and_time(session.disk(), touched));

  const DiskState other = disk_state_of("two!", 30);
  const DiskChange change = judge_disk_change(session.disk(), other);
  EXPECT_EQ(session.on_disk_seen(other, change, false), ExternalAction::Reload);
  EXPECT_EQ(session.on_disk_seen(other, change, true), ExternalAction::Ask);
  // Kept: not asked again for that text, but a save over it still asks.
  session.kept_mine(other);
  EXPECT_EQ(session.on_disk_seen(other, change, true), ExternalAction::None);
  EXPECT_TRUE(session.save_needs_asking(change));
  const DiskState third = disk_state_of("three", 40);
  EXPECT_EQ(session.on_disk_seen(third, judge_disk_change(session.disk(), third), true), ExternalAction::Ask);

  // Our own save is what the file is now.
  const DiskState written = disk_state_of("mine", 50);
  session.saved("C:\\d\\a.md", written);
  EXPECT_FALSE(session.save_needs_asking(judge_disk_change(session.disk(), written)));

  // Gone once; the text stays unsaved and the next look finds nothing new.
  EXPECT_EQ(session.on_disk_seen(DiskState{}, judge_disk_change(session.disk(), DiskState{}), false),
            ExternalAction::MarkGone);
  EXPECT_EQ(session.on_disk_seen(DiskState{}, judge_disk_change(session.disk(), DiskState{}), true),
            ExternalAction::None);

  session.started_new();
  EXPECT_EQ(session.on_disk_seen(other, DiskChange::Changed, true), ExternalAction::None);
}

TEST(DocumentSession, BackupsCarryTheDocumentAndAFailureIsSaidOnce) {
  DocumentSession session;
  const DiskState loaded = disk_state_of("a\r\n", 7);
  session.opened("C:\\d\\a.md", "a\r\n", loaded);
  const BackupRecord record = session.backup_of("a\nb", 1700000000);
  EXPECT_EQ(record.path, "C:\\d\\a.md");
  EXPECT_TRUE(record.crlf);
  EXPECT_EQ(record.loaded, loaded);
  EXPECT_EQ(record.text, "a\nb");

  EXPECT_EQ(session.backup_written(false), std::optional<std::string>(kBackupFailedStatus));
  EXPECT_EQ(session.backup_written(false), std::nullopt);
  EXPECT_EQ(session.backup_written(true), std::nullopt);
  EXPECT_EQ(session.backup_written(false), std::optional<std::string>(kBackupFailedStatus));

  // A recovered backup is the document it was taken from.
  DocumentSession recovered;
  recovered.recovered(record);
  EXPECT_EQ(recovered.path(), record.path);
  EXPECT_EQ(recovered.folder(), "C:\\d");
  EXPECT_TRUE(recovered.uses_crlf());
  EXPECT_EQ(recovered.disk(), loaded);
}

}  // namespace
}  // namespace vesk
