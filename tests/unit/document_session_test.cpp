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

}  // namespace
}  // namespace vesk
