#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "config/ConfigFlags.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "engine/CYVXMLInstallEngine.h"
#include "engine/EngineResults.h"
#include "engine/XmlFileOperations.h"
#include "kit/TempFolder.h"
#include "xml/XmlResults.h"

namespace {

// An engine whose host is the test: it records every event and answers the
// prompts and the action-state questions from the test's script.
class ScriptedEngine : public CYVXMLInstallEngine {
 public:
  void OnLogMessage(const wchar_t* text) override { log.emplace_back(text); }
  void OnSetupProgress(DWORD steps, DWORD ticksPerStep) override { setups.push_back({steps, ticksPerStep}); }
  void OnTickProgress() override { ++ticks; }
  void OnEndProgress() override { ++ends; }
  void OnProgressMessage(const wchar_t* name, const wchar_t* argument) override {
    progressMessages.push_back(std::wstring(name) + L"|" + argument);
  }
  void OnProgressText(const wchar_t* text) override { progressTexts.emplace_back(text); }
  int OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) override {
    prompts.push_back(std::to_wstring(errorNumber) + L" " + text);
    (void)detail;
    if (answers.empty()) return 0;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool IsInstallState(int state) override { return installStates ? installStates(state) : true; }
  bool IsUninstallState(int state) override { return uninstallStates ? uninstallStates(state) : true; }
  void OnFileStateChanged(const CXmlCfgFileProp& file) override {
    // What the host would store at this point: the file must be untouched.
    stateChanges.push_back({file.key.c_str(), file.tempFilePath.c_str(), file.createdOnInstall,
                            ReadFileBytes(file.GetFullPath().c_str())});
  }

  bool Logged(const std::wstring& line) const {
    for (const auto& l : log)
      if (l == line) return true;
    return false;
  }

  struct Setup {
    DWORD steps, ticksPerStep;
  };
  struct StateChange {
    std::wstring key, backup;
    DWORD created;
    std::string bytesOnDisk;
  };
  std::vector<std::wstring> log, progressMessages, progressTexts, prompts;
  std::vector<Setup> setups;
  std::vector<StateChange> stateChanges;
  int ticks = 0, ends = 0;
  std::deque<int> answers;
  std::function<bool(int)> installStates, uninstallStates;
};

class EngineTest : public ::testing::Test {
 protected:
  CXmlCfgFileProp& AddFile(const wchar_t* component, const wchar_t* key, const wchar_t* name, DWORD flags = 0,
                           int state = ComponentActionState::kLocal) {
    CXmlCfgComponentProp* c = engine_.bag().GetOrAddComponent(component);
    c->actionState = state;
    CXmlCfgFileProp* file = c->AddFile(key);
    file->path = folder_.path().c_str();
    file->fileName = name;
    file->attributes = flags | XmlFileFlags::kKeepFormatting;
    file->fileAttributes = kUnknownFileAttributes;
    return *file;
  }
  std::wstring PathOf(const wchar_t* name) { return folder_.File(name); }
  std::string Read(const wchar_t* name) { return ReadFileBytes(PathOf(name)); }
  void Write(const wchar_t* name, const std::string& bytes) { WriteFileBytes(PathOf(name), bytes); }

  TempFolder folder_;
  ScriptedEngine engine_;
};

CXmlCfgXPathProp& AddElement(CXmlCfgFileProp& file, const wchar_t* xpath, DWORD action,
                             const wchar_t* content = L"") {
  CXmlCfgXPathProp* x = file.AddXPath(xpath);
  x->action = action;
  x->content = content;
  return *x;
}

void AddAttribute(CXmlCfgXPathProp& element, const wchar_t* name, const wchar_t* value, DWORD action) {
  CXmlCfgXPathAttribProp* a = element.AddAttribute(name);
  a->value = value;
  a->action = action;
}

const std::string kAppConfig =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <appSettings>\r\n"
    "    <add key=\"mode\" value=\"old\" />\r\n    <add key=\"gone\" value=\"x\" />\r\n  </appSettings>\r\n"
    "</configuration>\r\n";

}  // namespace

TEST_F(EngineTest, WalkSelectsComponentsAndCountsOneStepPerFile) {
  // Five missing files that may not be created: each is skipped after its tick.
  AddFile(L"CompA", L"a1", L"missing-a1.xml");
  AddFile(L"CompA", L"a2", L"missing-a2.xml");
  AddFile(L"CompB", L"b1", L"missing-b1.xml");
  AddFile(L"CompB", L"b2", L"missing-b2.xml");
  AddFile(L"CompB", L"b3", L"missing-b3.xml");
  AddFile(L"CompC", L"c1", L"missing-c1.xml", 0, ComponentActionState::kAbsent);
  engine_.installStates = [](int s) { return s == ComponentActionState::kLocal; };

  EXPECT_EQ(engine_.DoInstall(), 0);
  ASSERT_EQ(engine_.setups.size(), 1u);
  EXPECT_EQ(engine_.setups[0].steps, 6u) << "five files and the step the host may complete";
  EXPECT_EQ(engine_.setups[0].ticksPerStep, 1u);
  EXPECT_EQ(engine_.ticks, 5);
  EXPECT_EQ(engine_.ends, 1);
  EXPECT_TRUE(engine_.Logged(L"Installing 2 XML component(s)"));
  EXPECT_TRUE(engine_.Logged(L"Installing XML Component 'CompA'"));
  EXPECT_FALSE(engine_.Logged(L"Installing XML Component 'CompC'"));
  EXPECT_TRUE(engine_.Logged(L"XML File '" + PathOf(L"missing-b3.xml") +
                             L"' does not exist and should not be created. Skipping..."));
  EXPECT_FALSE(FileExists(PathOf(L"missing-a1.xml")));
}

TEST_F(EngineTest, NothingSelectedOrNoFilesMeansNoProgressAndNoLogLine) {
  AddFile(L"CompA", L"a1", L"x.xml");
  engine_.bag().GetOrAddComponent(L"Empty")->actionState = ComponentActionState::kLocal;
  engine_.installStates = [](int s) { return s == 99; };
  EXPECT_EQ(engine_.DoInstall(), 0);
  engine_.uninstallStates = [](int s) { return s == ComponentActionState::kLocal; };
  engine_.bag().components.erase(L"CompA");
  EXPECT_EQ(engine_.DoUninstall(), 0) << "a selected component without files";
  EXPECT_TRUE(engine_.setups.empty());
  EXPECT_TRUE(engine_.log.empty());
  EXPECT_EQ(engine_.ends, 0);
}

TEST_F(EngineTest, InstallBacksUpBeforeChangingAndAppliesEveryRecordKind) {
  Write(L"app.config", kAppConfig);
  CXmlCfgFileProp& file = AddFile(L"Comp", L"app", L"app.config");
  CXmlCfgXPathProp& mode = AddElement(file, L"/configuration/appSettings/add[@key='mode']", 0);
  AddAttribute(mode, L"value", L"new", XmlAttributeFlags::kApplyOnInstall);
  AddAttribute(mode, L"note", L"added", XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);
  AddAttribute(mode, L"key", L"-suffix", XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kAppendValue);
  AddAttribute(mode, L"uninstallOnly", L"u", XmlAttributeFlags::kApplyOnUninstall | XmlAttributeFlags::kCreateIfMissing);
  AddAttribute(mode, L"xmlns", L"urn:never-an-attribute", XmlAttributeFlags::kApplyOnInstall);
  AddElement(file, L"/configuration/appSettings/add[@key='gone']", XmlElementFlags::kRemoveOnInstall);
  // Creation works below the root element: "//startup" is created as its
  // child, while "/configuration/startup" would look for "configuration"
  // below the root and create nothing.
  CXmlCfgXPathProp& created = AddElement(file, L"//startup", XmlElementFlags::kCreateOnInstall |
                                                                              XmlElementFlags::kReplaceContent,
                                         L"text");
  AddAttribute(created, L"sku", L"v4", XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);

  EXPECT_EQ(engine_.DoInstall(), 0);

  ASSERT_FALSE(file.tempFilePath.empty());
  EXPECT_EQ(ReadFileBytes(file.tempFilePath.c_str()), kAppConfig) << "the backup is the file as it was";
  EXPECT_EQ(file.createdOnInstall, 0u);
  ASSERT_EQ(engine_.stateChanges.size(), 1u);
  EXPECT_EQ(engine_.stateChanges[0].backup, file.tempFilePath.c_str());
  EXPECT_EQ(engine_.stateChanges[0].bytesOnDisk, kAppConfig) << "the host hears of the backup before any change";

  std::string after = Read(L"app.config");
  EXPECT_NE(after.find("key=\"mode-suffix\""), std::string::npos) << after;
  EXPECT_NE(after.find("value=\"new\""), std::string::npos) << after;
  EXPECT_NE(after.find("note=\"added\""), std::string::npos) << after;
  EXPECT_EQ(after.find("uninstallOnly"), std::string::npos) << after;
  EXPECT_EQ(after.find("urn:never-an-attribute"), std::string::npos) << after;
  EXPECT_EQ(after.find("gone"), std::string::npos) << after;
  EXPECT_NE(after.find("<startup sku=\"v4\">text</startup>"), std::string::npos) << after;
  EXPECT_EQ(engine_.progressMessages.size(), 1u);
  EXPECT_EQ(engine_.progressMessages[0], L"YV_PROGMSG_XML_UPDATE_FILE|" + PathOf(L"app.config"));
  DeleteFileW(file.tempFilePath.c_str());
}

TEST_F(EngineTest, AMissingFileIsCreatedOnlyWhenItsFlagsAllowAndIsNeverBackedUp) {
  CXmlCfgFileProp& file = AddFile(L"Comp", L"new", L"settings.xml", XmlFileFlags::kCreateIfMissing);
  file.rootElementName = L"settings";
  AddAttribute(AddElement(file, L"//", 0), L"version", L"2",
               XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);
  AddElement(file, L"//item", XmlElementFlags::kCreateOnInstall | XmlElementFlags::kReplaceContent, L"one");

  EXPECT_EQ(engine_.DoInstall(), 0);
  EXPECT_EQ(file.createdOnInstall, 1u);
  EXPECT_TRUE(file.tempFilePath.empty());
  std::string created = Read(L"settings.xml");
  EXPECT_NE(created.find("<settings version=\"2\"><item>one</item></settings>"), std::string::npos) << created;
  ASSERT_EQ(engine_.progressMessages.size(), 2u);
  EXPECT_EQ(engine_.progressMessages[0], L"YV_PROGMSG_XML_CREATE_FILE|" + PathOf(L"settings.xml"));
  ASSERT_EQ(engine_.stateChanges.size(), 1u);
  EXPECT_EQ(engine_.stateChanges[0].created, 1u);
  EXPECT_TRUE(engine_.stateChanges[0].bytesOnDisk.empty()) << "recorded before the file exists";

  // Rollback deletes what the install created.
  EXPECT_EQ(engine_.DoRollback(), 0);
  EXPECT_FALSE(FileExists(PathOf(L"settings.xml")));
}

TEST_F(EngineTest, AFailureStopsTheWalkAndLeavesLaterFilesUntouched) {
  Write(L"1.xml", "<a/>");
  Write(L"2.xml", "<b><unclosed></b>");
  Write(L"3.xml", "<c/>");
  Write(L"4.xml", "<d/>");
  for (auto name : {L"1.xml", L"2.xml", L"3.xml"}) {
    AddAttribute(AddElement(AddFile(L"CompA", name, name), L"//", 0), L"x", L"1",
                 XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);
  }
  AddAttribute(AddElement(AddFile(L"CompB", L"4.xml", L"4.xml"), L"//", 0), L"x", L"1",
               XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);
  engine_.answers = {3};  // Abort at the load prompt of 2.xml

  EXPECT_EQ(engine_.DoInstall(), XmlResult::kUserAbort);
  ASSERT_EQ(engine_.prompts.size(), 1u);
  EXPECT_EQ(engine_.prompts[0], L"27520 " + PathOf(L"2.xml"));
  EXPECT_EQ(Read(L"1.xml").find("x=\"1\"") != std::string::npos, true);
  EXPECT_EQ(Read(L"2.xml"), "<b><unclosed></b>");
  EXPECT_EQ(Read(L"3.xml"), "<c/>");
  EXPECT_EQ(Read(L"4.xml"), "<d/>");
  EXPECT_EQ(engine_.ticks, 2);
  EXPECT_EQ(engine_.ends, 0) << "a failed walk does not end the progress";
  auto& compA = *engine_.bag().components[L"CompA"];
  EXPECT_TRUE(compA.files[L"3.xml"]->tempFilePath.empty());

  // Rollback restores the changed file; the untouched ones log that there was
  // nothing to restore and stay as they are.
  engine_.log.clear();
  EXPECT_EQ(engine_.DoRollback(), 0);
  EXPECT_EQ(Read(L"1.xml"), "<a/>");
  EXPECT_EQ(Read(L"3.xml"), "<c/>");
  int unrestored = 0;
  for (const auto& line : engine_.log) unrestored += line == L"Unable to restore backup XML file";
  EXPECT_EQ(unrestored, 2) << "3.xml and 4.xml had no backup";
  engine_.DoCommit();
  for (auto& c : engine_.bag().components)
    for (auto& f : c.second->files) {
      if (!f.second->tempFilePath.empty()) {
        EXPECT_FALSE(FileExists(f.second->tempFilePath.c_str()));
      }
    }
}

TEST_F(EngineTest, IgnoreSkipsTheFileAsASuccess) {
  Write(L"bad.xml", "not xml at all");
  Write(L"good.xml", "<g/>");
  AddAttribute(AddElement(AddFile(L"Comp", L"1bad", L"bad.xml"), L"//", 0), L"x", L"1",
               XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);
  AddAttribute(AddElement(AddFile(L"Comp", L"2good", L"good.xml"), L"//", 0), L"x", L"1",
               XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing);
  engine_.answers = {5};
  EXPECT_EQ(engine_.DoInstall(), 0);
  EXPECT_EQ(Read(L"bad.xml"), "not xml at all");
  EXPECT_NE(Read(L"good.xml").find("x=\"1\""), std::string::npos);
  engine_.DoCommit();
}

TEST_F(EngineTest, UninstallRevertsRecordsOrDeletesTheWholeFile) {
  Write(L"app.config", kAppConfig);
  Write(L"owned.xml", "<owned/>");
  SetFileAttributesW(PathOf(L"owned.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  CXmlCfgFileProp& app = AddFile(L"Comp", L"app", L"app.config");
  CXmlCfgXPathProp& root = AddElement(app, L"//", XmlElementFlags::kRemoveOnUninstall);
  AddAttribute(root, L"cleaned", L"yes", XmlAttributeFlags::kApplyOnUninstall | XmlAttributeFlags::kCreateIfMissing);
  AddElement(app, L"//appSettings/add[@key='gone']", XmlElementFlags::kRemoveOnUninstall);
  CXmlCfgXPathProp& mode = AddElement(app, L"//appSettings/add[@key='mode']", XmlElementFlags::kReplaceContent,
                                      L"content is never touched on uninstall");
  AddAttribute(mode, L"value", L"", XmlAttributeFlags::kApplyOnUninstall | XmlAttributeFlags::kRemove);
  AddFile(L"Comp", L"owned", L"owned.xml", XmlFileFlags::kDeleteOnUninstall);
  CXmlCfgFileProp& nowhere = AddFile(L"Comp", L"nowhere", L"");
  nowhere.path = L"";

  EXPECT_EQ(engine_.DoUninstall(), 0);
  std::string after = Read(L"app.config");
  EXPECT_NE(after.find("<configuration cleaned=\"yes\">"), std::string::npos) << "\"//\" is never removed: " << after;
  EXPECT_EQ(after.find("gone"), std::string::npos) << after;
  EXPECT_NE(after.find("<add key=\"mode\"/>"), std::string::npos) << after;
  EXPECT_EQ(after.find("content is never"), std::string::npos) << after;
  EXPECT_FALSE(FileExists(PathOf(L"owned.xml"))) << "a read-only file is deleted too";
  EXPECT_TRUE(app.tempFilePath.empty()) << "no backup on uninstall";
  EXPECT_EQ(engine_.ticks, 3) << "the file with an empty path still ticks";
}

TEST_F(EngineTest, RollbackRestoresBytesAndAttributesEvenOfAReadOnlyFile) {
  const std::string original = "<?xml version=\"1.0\"?>\n<r>\n\t<keep>odd   spacing</keep>\n</r>\n";
  Write(L"ro.xml", original);
  SetFileAttributesW(PathOf(L"ro.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  CXmlCfgFileProp& file = AddFile(L"Comp", L"ro", L"ro.xml");
  ASSERT_EQ(BackupFile(file), 0);
  EXPECT_EQ(GetFileAttributesW(file.tempFilePath.c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
      << "a backup must stay deletable";

  // The file changes and stays read-only; rollback puts the old bytes back
  // and keeps the attributes it found (the record does not know them).
  SetFileAttributesW(PathOf(L"ro.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
  Write(L"ro.xml", "<changed/>");
  SetFileAttributesW(PathOf(L"ro.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RollbackFile(file), 0);
  EXPECT_EQ(Read(L"ro.xml"), original);
  EXPECT_TRUE(GetFileAttributesW(PathOf(L"ro.xml").c_str()) & FILE_ATTRIBUTE_READONLY);

  // Known attributes in the record win over what the file has now.
  file.fileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  EXPECT_EQ(RollbackFile(file), 0);
  EXPECT_FALSE(GetFileAttributesW(PathOf(L"ro.xml").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(FileExists(file.tempFilePath.c_str())) << "rollback leaves the backup to the commit";

  EXPECT_EQ(CommitFile(file), 0);
  EXPECT_FALSE(FileExists(file.tempFilePath.c_str()));
}

TEST_F(EngineTest, ABackupThatCannotBeMadeStopsTheFileBeforeAnyChange) {
  Write(L"locked.xml", "<locked/>");
  HANDLE lock = CreateFileW(PathOf(L"locked.xml").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  CXmlCfgFileProp& file = AddFile(L"Comp", L"locked", L"locked.xml");
  AddElement(file, L"//", XmlElementFlags::kReplaceContent, L"x");
  EXPECT_EQ(engine_.DoInstall(), EngineResult::kBackupCopyFailed);
  CloseHandle(lock);
  EXPECT_EQ(Read(L"locked.xml"), "<locked/>");
  EXPECT_TRUE(file.tempFilePath.empty());
  EXPECT_TRUE(engine_.stateChanges.empty());
}
