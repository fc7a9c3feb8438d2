#include <gtest/gtest.h>

#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "engine/CYVXMLInstallEngine.h"
#include "engine/EngineResults.h"
#include "engine/XmlFileOperations.h"
#include "kit/TempFolder.h"
#include "unit/xml/XmlTestSupport.h"
#include "xml/XmlResults.h"

namespace {

namespace A = XmlAttributeFlags;
namespace E = XmlElementFlags;
constexpr DWORD kInstall = A::kApplyOnInstall, kUninstall = A::kApplyOnUninstall, kCreate = A::kCreateIfMissing;

// The test is the engine's host: it records what a host would see and
// answers the prompts. Components to install are the local ones, those to
// uninstall the absent ones.
class EngineTest : public ::testing::Test, public CYVXMLInstallEngine {
 protected:
  void OnLogMessage(const wchar_t*) override {}
  void OnProgressText(const wchar_t* text) override { progressTexts.emplace_back(text); }
  int OnErrorPrompt(const wchar_t*, int, int) override { return answer; }
  bool IsInstallState(int state) override { return state == ComponentActionState::kLocal; }
  bool IsUninstallState(int state) override { return state == ComponentActionState::kAbsent; }
  int OnFileStateChanged(const CXmlCfgFileProp& file) override {
    // What the host stores at this point; the file must still be untouched.
    stateChanges.push_back(std::string(file.tempFilePath.empty() ? "no backup" : "backup") +
                           (file.createdOnInstall ? " created " : " ") + ReadFileBytes(file.GetFullPath().c_str()));
    return stateResult;
  }
  // A file of `component` in the test's folder, written from `bytes` unless
  // they are null; kept in its own layout when saved.
  CXmlCfgFileProp& File(const wchar_t* component, const wchar_t* name, const char* bytes, DWORD flags = 0,
                        int state = ComponentActionState::kLocal) {
    if (bytes) WriteFileBytes(PathOf(name), bytes);
    CXmlCfgComponentProp* c = bag().GetOrAddComponent(component);
    c->actionState = state;
    CXmlCfgFileProp* file = c->AddFile(name);
    file->path = folder_.path().c_str();
    file->fileName = name;
    file->attributes = flags | XmlFileFlags::kKeepFormatting;
    file->fileAttributes = kUnknownFileAttributes;
    return *file;
  }
  // The host's restore record (file flag 0x10), by file key.
  int RecordedChanges(const CXmlCfgFileProp& file, XmlChangeList& changes) override {
    changes = records[file.key.c_str()];
    return 0;
  }
  int OnChangesRecorded(const CXmlCfgFileProp& file, const XmlChangeList& changes) override {
    records[file.key.c_str()] = changes;
    return 0;
  }
  std::wstring PathOf(const wchar_t* name) { return folder_.File(name); }
  std::string Read(const wchar_t* name) { return ReadFileBytes(PathOf(name)); }

  TempFolder folder_;
  std::vector<std::wstring> progressTexts;
  std::vector<std::string> stateChanges;
  int answer = PromptAnswer::kAbort;
  int stateResult = 0;
  std::map<std::wstring, XmlChangeList> records;
};

// One element record with its attribute records {name, value, flags}.
void Element(CXmlCfgFileProp& file, const wchar_t* xpath, DWORD action, const wchar_t* content = L"",
             std::vector<std::tuple<const wchar_t*, const wchar_t*, DWORD>> attributes = {}) {
  CXmlCfgXPathProp* element = file.AddXPath(xpath);
  element->action = action;
  element->content = content;
  for (auto [name, value, flags] : attributes) {
    CXmlCfgXPathAttribProp* attribute = element->AddAttribute(name);
    attribute->value = value;
    attribute->action = flags;
  }
}

// Expects each part to occur in `text` as often as given.
void ExpectCounts(const std::string& text, std::vector<std::pair<std::string, size_t>> parts) {
  for (const auto& [part, expected] : parts) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    EXPECT_EQ(count, expected) << part << " in " << text;
  }
}

const char kAppConfig[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <appSettings>\r\n"
                          "    <add key=\"mode\" value=\"old\" />\r\n    <add key=\"keep\">text</add>\r\n"
                          "    <add key=\"gone\" value=\"x\" />\r\n  </appSettings>\r\n</configuration>\r\n";

}  // namespace

TEST_F(EngineTest, InstallBacksUpAndChangesFilesRollbackAndCommitUndoItAndUninstallRevertsRecords) {
  CXmlCfgFileProp& app = File(L"Comp", L"app.config", kAppConfig);
  // Records run in the order of their XPaths.
  Element(app, L"//appSettings/add", E::kFirstMatchOnly, L"", {{L"first", L"1", kInstall | kCreate}});
  Element(app, L"//appSettings/add[@key='gone']", E::kRemoveOnInstall);
  Element(app, L"//appSettings/add[@key='keep']", E::kPrependContent, L"pre-");
  // An xmlns row only says which namespace the element is in: it is never
  // written, whatever its flags. (Wine's parser does not write an xmlns
  // attribute made as an attribute node either; Microsoft's does.)
  Element(app, L"//appSettings/add[@key='mode']", 0, L"",
          {{L"value", L"new", kInstall},
           {L"note", L"added", kInstall | kCreate},
           {L"absent", L"x", kInstall},
           {L"key", L"-suffix", kInstall | A::kAppendValue},
           {L"uninstallOnly", L"u", kUninstall | kCreate},
           {L"xmlns", L"urn:never-an-attribute", kInstall | kCreate}});
  // Created below the root element, "/" or "//" in front or not.
  Element(app, L"//appSettings/add[@key='new']", E::kCreateOnInstall, L"", {{L"key", L"new", kInstall | kCreate}});
  Element(app, L"//startup", E::kCreateOnInstall | E::kReplaceContent, L"text", {{L"sku", L"v4", kInstall | kCreate}});
  CXmlCfgFileProp& created = File(L"Comp", L"settings.xml", nullptr, XmlFileFlags::kCreateIfMissing);
  created.rootElementName = L"settings";
  Element(created, L"//", 0, L"", {{L"version", L"2", kInstall | kCreate}});
  Element(created, L"//item", E::kCreateOnInstall | E::kReplaceContent, L"one");
  File(L"Comp", L"skipped.xml", nullptr);  // missing and not to be created
  // A component being removed: untouched by the install, reverted by the uninstall.
  CXmlCfgFileProp& removed = File(L"Removed", L"removed.config", kAppConfig, 0, ComponentActionState::kAbsent);
  // "//" stands for the whole document, which is never removed.
  Element(removed, L"//", E::kRemoveOnUninstall, L"", {{L"cleaned", L"yes", kUninstall | kCreate}});
  // Removing passes over an element without the attribute.
  Element(removed, L"//appSettings/add", E::kReplaceContent, L"content is never touched on uninstall",
          {{L"value", L"", kUninstall | A::kRemove}});
  Element(removed, L"//installed", E::kCreateOnInstall);
  Element(removed, L"//uninstalled", E::kCreateOnUninstall);
  File(L"Removed", L"owned.xml", "<owned/>", XmlFileFlags::kDeleteOnUninstall, ComponentActionState::kAbsent);

  EXPECT_EQ(DoInstall(), 0);
  EXPECT_EQ(ReadFileBytes(app.tempFilePath.c_str()), kAppConfig) << "the backup is the file as it was";
  EXPECT_EQ(stateChanges, (std::vector<std::string>{"backup " + std::string(kAppConfig), "no backup created "}));
  ExpectCounts(Read(L"app.config"), {{"key=\"mode-suffix\"", 1},
                                     {"value=\"new\"", 1},
                                     {"note=\"added\"", 1},
                                     {"first=\"1\"", 1},
                                     {">pre-text<", 1},
                                     {"<startup sku=\"v4\">text</startup>", 1},
                                     {"<add key=\"new\" />", 1},
                                     {"absent", 0},
                                     {"uninstallOnly", 0},
                                     {"urn:never", 0},
                                     {"gone", 0}});
  // Kept as the package asked: not formatted.
  EXPECT_NE(Read(L"settings.xml").find("<settings version=\"2\"><item>one</item></settings>"), std::string::npos);
  EXPECT_FALSE(FileExists(PathOf(L"skipped.xml")));
  EXPECT_EQ(Read(L"removed.config"), kAppConfig);

  EXPECT_EQ(DoRollback(), 0);
  EXPECT_EQ(progressTexts.size(), 1u) << "the user sees that a rollback is under way";
  EXPECT_EQ(Read(L"app.config"), kAppConfig);
  EXPECT_FALSE(FileExists(PathOf(L"settings.xml")));
  EXPECT_EQ(DoCommit(), 0);
  EXPECT_FALSE(FileExists(app.tempFilePath.c_str()));

  EXPECT_EQ(DoUninstall(), 0);
  ExpectCounts(Read(L"removed.config"), {{"<configuration cleaned=\"yes\">", 1},
                                         {"value=", 0},
                                         {"content is never", 0},
                                         {"<add key=\"mode\" />", 1},
                                         {"<uninstalled />", 1},
                                         {"<installed", 0}});
  EXPECT_FALSE(FileExists(PathOf(L"owned.xml")));
}

TEST_F(EngineTest, AFailureStopsTheWalkAndRollbackPutsBackEveryFileTheInstallChanged) {
  for (auto [name, bytes] : {std::pair{L"a1.xml", "<a/>"},
                             {L"a2.xml", "not xml"},
                             {L"a3.xml", "<a/>"},
                             {L"a4.xml", "<d>t</d>"},
                             {L"b1.xml", "<b/>"}})
    Element(File(name[0] == L'a' ? L"A" : L"B", name, bytes), L"//", 0, L"", {{L"x", L"1", kInstall | kCreate}});
  CXmlCfgFileProp& failing = *bag().components[L"A"]->files[L"a4.xml"];
  // A text node has no attributes to set: the record fails, and so the file.
  Element(failing, L"text()", 0, L"", {{L"x", L"1", kInstall | kCreate}});
  // The failing file is read-only; nothing is saved to it, which Windows
  // would refuse.
  SetFileAttributesW(PathOf(L"a4.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  answer = PromptAnswer::kIgnore;  // for the load of a2.xml, which skips it

  EXPECT_EQ(DoInstall(), XmlResult::kSetAttributeFailed);
  ExpectCounts(Read(L"a1.xml") + Read(L"a3.xml"), {{"x=\"1\"", 2}});
  EXPECT_EQ(Read(L"a2.xml"), "not xml");
  EXPECT_EQ(Read(L"a4.xml"), "<d>t</d>") << "a failed file is not saved";
  EXPECT_EQ(Read(L"b1.xml"), "<b/>") << "nothing after a failure is touched";
  // On Windows the copy takes the file's attributes, but a read-only backup
  // could not be deleted by the commit. (Wine's copy onto the empty file
  // that reserved the backup's name keeps that file's attributes, so there
  // the backup is writable either way.)
  ASSERT_FALSE(failing.tempFilePath.empty());
  EXPECT_EQ(GetFileAttributesW(failing.tempFilePath.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

  // Rollback puts back the bytes of every file with a backup. A read-only
  // one gets its attribute cleared, the copy and the attribute back (Windows
  // refuses to copy over a read-only file; Wine running as root does not, so
  // there only the bytes and the attribute show). A file deleted since is
  // not brought back, and one never touched is left alone.
  SetFileAttributesW(PathOf(L"a4.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteFileBytes(PathOf(L"a4.xml"), "<changed/>");
  SetFileAttributesW(PathOf(L"a4.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  DeleteFileW(PathOf(L"a1.xml").c_str());
  EXPECT_EQ(DoRollback(), 0);
  EXPECT_FALSE(FileExists(PathOf(L"a1.xml")));
  for (auto [name, bytes] : {std::pair{L"a3.xml", "<a/>"}, {L"a4.xml", "<d>t</d>"}, {L"b1.xml", "<b/>"}})
    EXPECT_EQ(Read(name), bytes) << name;
  EXPECT_TRUE(GetFileAttributesW(PathOf(L"a4.xml").c_str()) & FILE_ATTRIBUTE_READONLY);
  DoCommit();
  EXPECT_FALSE(FileExists(failing.tempFilePath.c_str()));
  // A file that cannot be copied gets no backup, which stops it.
  EXPECT_EQ(BackupFile(File(L"CompC", L"missing.xml", nullptr), BackupFolder()), EngineResult::kBackupCopyFailed);
}

// A host that cannot record a file's backup stops the install while the file
// is still as it was.
TEST_F(EngineTest, AFileWhoseBackupCannotBeRecordedIsNotChanged) {
  Element(File(L"A", L"a.xml", "<a/>"), L"//", 0, L"", {{L"x", L"1", kInstall | kCreate}});
  stateResult = -1315;
  EXPECT_EQ(DoInstall(), -1315);
  EXPECT_EQ(Read(L"a.xml"), "<a/>");
}

// A recorded backup that is no XML*.tmp file of the engine's backup folder
// is neither copied back nor deleted, however it got into the record.
TEST_F(EngineTest, RollbackAndCommitUseOnlyBackupsOfTheBackupFolder) {
  CXmlCfgFileProp& file = File(L"A", L"target.xml", "<target/>");
  file.tempFilePath = PathOf(L"XMLplanted.tmp").c_str();
  WriteFileBytes(PathOf(L"XMLplanted.tmp"), "<planted/>");
  EXPECT_EQ(DoRollback(), 0);
  EXPECT_EQ(DoCommit(), 0);
  EXPECT_EQ(Read(L"target.xml") + Read(L"XMLplanted.tmp"), "<target/><planted/>");
}

// With the file flag 0x10 a repair first puts back what the installation
// found, so appends and removals do not pile up, and the uninstall restores
// the file before the file's own uninstall rows apply.
TEST_F(EngineTest, RestoreFlagRepairsToTheFirstInstallAndUninstallPutsBackTheOriginal) {
  CXmlCfgFileProp& app = File(L"Comp", L"app.config", kAppConfig, XmlFileFlags::kRestoreOnUninstall);
  Element(app, L"//appSettings/add", E::kRemoveOnInstall | E::kFirstMatchOnly);
  Element(app, L"//appSettings/add[@key='keep']", E::kAppendContent, L"-more",
          {{L"value", L";x", kInstall | kCreate | A::kAppendValue}});
  // Found by nothing once the restore removed it.
  Element(app, L"//appSettings/add[@key='new']", E::kCreateOnInstall, L"", {{L"on", L"u", kUninstall | kCreate}});
  Element(app, L"//", 0, L"", {{L"done", L"yes", kUninstall | kCreate}});
  EXPECT_EQ(DoInstall(), 0);
  std::string installed = Read(L"app.config");
  ExpectCounts(installed, {{"mode", 0}, {">text-more<", 1}, {"value=\";x\"", 1}, {"<add key=\"new\" />", 1}});
  for (int repair = 0; repair < 2; ++repair) {
    EXPECT_EQ(DoInstall(), 0);
    EXPECT_EQ(Read(L"app.config"), installed);
  }
  EXPECT_EQ(records[L"app.config"].size(), 5u);
  bag().components[L"Comp"]->actionState = ComponentActionState::kAbsent;
  EXPECT_EQ(DoUninstall(), 0);
  std::string expected = kAppConfig;
  expected.replace(expected.find("<configuration>"), 15, "<configuration done=\"yes\">");
  WriteFileBytes(PathOf(L"expected.xml"), expected);
  EXPECT_EQ(Canonical(ParseFile(PathOf(L"app.config")).get(), true),
            Canonical(ParseFile(PathOf(L"expected.xml")).get(), true));
}
