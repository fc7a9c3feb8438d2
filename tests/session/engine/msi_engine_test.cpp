#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "actions/ActionRunner.h"
#include "config/ConfigFlags.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "engine/CXMLMSIInstallEngine.h"
#include "kit/ModuleLibrary.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"

namespace {

// The temporary folder's backup copies and runtime data files: the names the
// module's temporary files get.
std::set<std::wstring> TemporaryModuleFiles() {
  std::set<std::wstring> names;
  std::wstring folder = yv::temp_folder_path().c_str();
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"XML*.tmp").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.insert(entry.cFileName);
  while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

std::wstring NewRuntimeDataFile() {
  wchar_t folder[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"XML", 0, name);
  return name;
}

struct FileSnapshot {
  std::string bytes;
  DWORD attributes;
};

class MsiEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestPackage package(folder_.File(L"engine.msi"));
    package.ErrorPromptRows()
        .Property(L"ProductCode", L"{2A3B4C5D-6E7F-4081-92A3-B4C5D6E7F809}")
        .Property(L"ProductName", L"Engine test");
    package.Commit();
    session_ = std::make_unique<RecordedSession>(package.path());
    runtimeData_ = NewRuntimeDataFile();
  }
  void TearDown() override {
    session_.reset();
    DeleteFileW(runtimeData_.c_str());
  }

  CXmlCfgFileProp& AddFile(CXmlCfgPropertyBag& bag, const wchar_t* component, int state, const wchar_t* name,
                           DWORD flags = 0) {
    CXmlCfgComponentProp* c = bag.GetOrAddComponent(component);
    c->actionState = state;
    CXmlCfgFileProp* file = c->AddFile(name);
    file->path = folder_.path().c_str();
    file->fileName = name;
    file->fileAttributes = kUnknownFileAttributes;
    file->attributes = flags;
    file->rootElementName = L"created";
    return *file;
  }
  static void SetAttribute(CXmlCfgFileProp& file, const wchar_t* xpath, const wchar_t* name, const wchar_t* value) {
    CXmlCfgXPathProp* x = file.AddXPath(xpath);
    x->action = XmlElementFlags::kCreateOnInstall;
    CXmlCfgXPathAttribProp* a = x->AddAttribute(name);
    a->value = value;
    a->action = XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing;
  }
  void Store(const CXmlCfgPropertyBag& bag) {
    CXmlIniWriter writer(runtimeData_.c_str());
    ASSERT_EQ(bag.Save(writer), 0);
  }
  void GiveActionData(const std::wstring& path) {
    MsiSetPropertyW(session_->handle(), L"CustomActionData", path.c_str());
  }
  std::unique_ptr<CXmlCfgPropertyBag> ReadBack() {
    auto bag = std::make_unique<CXmlCfgPropertyBag>();
    CXmlMsiIniLoader loader(runtimeData_.c_str());
    EXPECT_EQ(bag->Load(loader), 0);
    return bag;
  }
  std::wstring PathOf(const std::wstring& name) { return folder_.File(name); }
  FileSnapshot Snapshot(const std::wstring& name) {
    return {ReadFileBytes(PathOf(name)), GetFileAttributesW(PathOf(name).c_str())};
  }

  TempFolder folder_;
  std::unique_ptr<RecordedSession> session_;
  std::wstring runtimeData_;
  ModuleLibrary module_;
};

}  // namespace

TEST_F(MsiEngineTest, InstallStoresBackupsAndShowsEachFileInTheProgressDialog) {
  WriteFileBytes(PathOf(L"web.config"), "<configuration><appSettings/></configuration>");
  CXmlCfgPropertyBag bag;
  // A runtime data file carries all six texts or none.
  for (auto name : {L"YV_PROGMSG_XML_COSTING", L"YV_PROGMSG_XML_FILES", L"YV_PROGMSG_XML_REMOVE_FILE",
                    L"YV_PROGMSG_XML_ROLLBACK_FILES"})
    bag.progressMessages[name] = L"Configuring XML files...";
  bag.progressMessages[L"YV_PROGMSG_XML_UPDATE_FILE"] = L"Updating %s (100%% sure)";
  bag.progressMessages[L"YV_PROGMSG_XML_CREATE_FILE"] = L"Creating %s %d %s";
  SetAttribute(AddFile(bag, L"Web", 3, L"web.config"), L"//appSettings", L"mode", L"on");
  SetAttribute(AddFile(bag, L"Web", 3, L"new.xml", XmlFileFlags::kCreateIfMissing), L"//", L"v", L"1");
  Store(bag);
  GiveActionData(runtimeData_);

  EXPECT_EQ(module_.CallAction("YVXmlInstall", session_->handle()), 0u);

  auto stored = ReadBack();
  auto& files = stored->components[L"Web"]->files;
  const std::wstring backup = files[L"web.config"]->tempFilePath.c_str();
  ASSERT_FALSE(backup.empty());
  EXPECT_EQ(ReadFileBytes(backup), "<configuration><appSettings/></configuration>");
  EXPECT_EQ(files[L"new.xml"]->createdOnInstall, 1u);
  EXPECT_TRUE(files[L"new.xml"]->tempFilePath.empty());

  std::vector<std::wstring> texts;
  for (const auto& m : session_->OfType(INSTALLMESSAGE_ACTIONSTART)) texts.push_back(m.Field(2));
  // A template with more placeholders than the one argument is shown with
  // the extra ones as written, never formatted from missing arguments.
  std::vector<std::wstring> expected = {L"Creating " + PathOf(L"new.xml") + L" %d %s",
                                        L"Updating " + PathOf(L"new.xml") + L" (100% sure)",
                                        L"Updating " + PathOf(L"web.config") + L" (100% sure)"};
  EXPECT_EQ(texts, expected);

  auto progress = session_->OfType(INSTALLMESSAGE_PROGRESS);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress[0].IntField(1), 0);
  EXPECT_EQ(progress[0].IntField(2), 3) << "two files and one spare step, one tick each";
  auto lines = session_->LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"Installing 1 XML component(s)"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"Installing XML file '" + PathOf(L"web.config") + L"'"),
            lines.end());

  // Commit deletes the backup and the runtime data file.
  EXPECT_EQ(module_.CallAction("YVXmlCommit", session_->handle()), 0u);
  EXPECT_FALSE(FileExists(backup));
  EXPECT_FALSE(FileExists(runtimeData_));
}

TEST_F(MsiEngineTest, ActionStatesChooseBetweenInstallAndUninstall) {
  CXmlCfgPropertyBag bag;
  const int states[] = {1, 2, 3, -1, 4, 5};
  for (int state : states) {
    std::wstring name = L"state" + std::to_wstring(state) + L".xml";
    WriteFileBytes(PathOf(name), "<r/>");
    CXmlCfgFileProp& file = AddFile(bag, (L"Comp" + std::to_wstring(state)).c_str(), state, name.c_str());
    SetAttribute(file, L"//", L"touched", L"yes");
    file.xpaths[L"//"]->attributes[0]->action |= XmlAttributeFlags::kApplyOnUninstall;
  }
  Store(bag);
  GiveActionData(runtimeData_);
  EXPECT_EQ(module_.CallAction("YVXmlInstall", session_->handle()), 0u);
  for (int state : states) {
    bool touched = ReadFileBytes(PathOf(L"state" + std::to_wstring(state) + L".xml")).find("touched") !=
                   std::string::npos;
    EXPECT_EQ(touched, state == 1 || state == 3) << "install, state " << state;
  }
  for (int state : states) WriteFileBytes(PathOf(L"state" + std::to_wstring(state) + L".xml"), "<r/>");
  EXPECT_EQ(module_.CallAction("YVXmlUnInstall", session_->handle()), 0u);
  for (int state : states) {
    bool touched = ReadFileBytes(PathOf(L"state" + std::to_wstring(state) + L".xml")).find("touched") !=
                   std::string::npos;
    EXPECT_EQ(touched, state == 1 || state == 2) << "uninstall, state " << state;
  }
  EXPECT_EQ(module_.CallAction("YVXmlCommit", session_->handle()), 0u);
}

TEST_F(MsiEngineTest, MissingActionDataFailsWithTheReadersCodeAndFinalizeWaitsForRollbackDisabled) {
  GiveActionData(L"");
  EXPECT_EQ(module_.CallAction("YVXmlInstall", session_->handle()), static_cast<UINT>(-1310));
  EXPECT_EQ(module_.CallAction("YVXmlRollback", session_->handle()), static_cast<UINT>(-1310));
  EXPECT_EQ(module_.CallAction("YVXmlCommit", session_->handle()), 0u) << "nothing to clean up";

  CXmlCfgPropertyBag bag;
  Store(bag);
  MsiSetPropertyW(session_->handle(), L"YVXmlFinalize", runtimeData_.c_str());
  EXPECT_EQ(module_.CallAction("YVXmlFinalize", session_->handle()), 0u);
  EXPECT_TRUE(FileExists(runtimeData_)) << "with rollback enabled, commit cleans up, not finalize";
  MsiSetPropertyW(session_->handle(), L"RollbackDisabled", L"1");
  EXPECT_EQ(module_.CallAction("YVXmlFinalize", session_->handle()), 0u);
  EXPECT_FALSE(FileExists(runtimeData_));
}

// Five files that exist and one the install creates, with a failure injected
// at every point of the install in turn. Whatever happened, the rollback
// action puts every existing file back byte for byte with its attributes and
// removes the created one; and nothing of the module stays in the temporary
// folder once the commit action has run.
TEST_F(MsiEngineTest, NothingIsLostWhereverTheInstallFails) {
  const std::vector<std::wstring> names = {L"f1.xml", L"f2.xml", L"f3.xml", L"f4.xml", L"f5.xml", L"f6.xml"};
  enum class Fault { kBackup, kElement, kSaveRefused, kInterrupted };
  const Fault faults[] = {Fault::kBackup, Fault::kElement, Fault::kSaveRefused, Fault::kInterrupted};
  std::set<std::wstring> temporaryBefore = TemporaryModuleFiles();
  temporaryBefore.erase(runtimeData_.substr(runtimeData_.find_last_of(L'\\') + 1));

  for (Fault fault : faults) {
    for (size_t k = 0; k < names.size(); ++k) {
      const bool created = k == 5;
      if (fault == Fault::kBackup && created) continue;  // a created file has no backup to fail
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at file " + std::to_string(k + 1));

      // Five existing files, one hidden; f6 is missing and created.
      for (size_t i = 0; i < 5; ++i) {
        SetFileAttributesW(PathOf(names[i]).c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteFileBytes(PathOf(names[i]), "<?xml version=\"1.0\"?>\r\n<root n=\"" + std::to_string(i) +
                                             "\">\r\n  <item>text " + std::to_string(i) + "</item>\r\n</root>\r\n");
      }
      SetFileAttributesW(PathOf(L"f2.xml").c_str(), FILE_ATTRIBUTE_HIDDEN);
      SetFileAttributesW(PathOf(L"f6.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(PathOf(L"f6.xml").c_str());
      RemoveDirectoryW(PathOf(L"f6.xml").c_str());

      CXmlCfgPropertyBag bag;
      for (size_t i = 0; i < names.size(); ++i) {
        CXmlCfgFileProp& file = AddFile(bag, L"Comp", 3, names[i].c_str(), XmlFileFlags::kCreateIfMissing);
        SetAttribute(file, L"//item", L"changed", L"yes");
        if (fault == Fault::kElement && i == k) {
          // An attribute on a text node cannot be set: the file fails part-way,
          // after its item got new content.
          file.xpaths[L"//item"]->action |= XmlElementFlags::kReplaceContent;
          file.xpaths[L"//item"]->content = L"new text";
          SetAttribute(file, L"//item/text()", L"impossible", L"x");
        }
      }
      Store(bag);
      GiveActionData(runtimeData_);

      if (fault == Fault::kSaveRefused) {
        if (created)
          CreateDirectoryW(PathOf(names[k]).c_str(), nullptr);  // nothing can be saved under that name
        else
          SetFileAttributesW(PathOf(names[k]).c_str(), FILE_ATTRIBUTE_READONLY);
        session_->AnswerPrompts({IDABORT});
      }
      std::vector<FileSnapshot> before;
      for (size_t i = 0; i < 5; ++i) before.push_back(Snapshot(names[i]));
      HANDLE lock = INVALID_HANDLE_VALUE;
      if (fault == Fault::kBackup) {
        // Nobody may even read the file: the backup copy cannot be made.
        lock = CreateFileW(PathOf(names[k]).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
      }
      if (fault == Fault::kSaveRefused && !created) {
        // Readers are let in, writers are not: the backup and the load work,
        // the save does not. (Wine running as root writes read-only files,
        // so the read-only attribute alone would not refuse the save there.)
        lock = CreateFileW(PathOf(names[k]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
      }

      UINT result;
      if (fault == Fault::kInterrupted) {
        // The install stops dead after file k: the configuration is never
        // stored again at the end, as when the process is killed.
        struct Interrupted : CXMLMSIInstallEngine {
          using CXMLMSIInstallEngine::CXMLMSIInstallEngine;
          void OnTickProgress() override {
            if (ticks++ == stopAfter) throw std::runtime_error("process ends here");
            CXMLMSIInstallEngine::OnTickProgress();
          }
          size_t ticks = 0, stopAfter = 0;
        };
        result = RunAction<Interrupted>(session_->handle(), L"YVXmlInstall", [k](Interrupted& engine) {
          engine.stopAfter = k + 1;
          return engine.Install();
        });
      } else {
        result = module_.CallAction("YVXmlInstall", session_->handle());
      }
      if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
      if (!(fault == Fault::kInterrupted && k == 5)) {
        EXPECT_NE(result, 0u) << "the install must fail";
      }

      EXPECT_EQ(module_.CallAction("YVXmlRollback", session_->handle()), 0u);
      for (size_t i = 0; i < 5; ++i) {
        FileSnapshot after = Snapshot(names[i]);
        EXPECT_EQ(after.bytes, before[i].bytes) << "file " << i + 1;
        EXPECT_EQ(after.attributes, before[i].attributes) << "file " << i + 1;
      }
      if (!(fault == Fault::kSaveRefused && created)) {
        EXPECT_FALSE(FileExists(PathOf(L"f6.xml")));
      }
      EXPECT_EQ(module_.CallAction("YVXmlCommit", session_->handle()), 0u);
      // Other test programs share the temporary folder and may add files of
      // the same names meanwhile: what must be gone is this run's runtime
      // data file and every copy of this run's files.
      std::wstring runtimeName = runtimeData_.substr(runtimeData_.find_last_of(L'\\') + 1);
      std::wstring temporaryFolder = yv::temp_folder_path().c_str();
      for (const std::wstring& name : TemporaryModuleFiles()) {
        if (temporaryBefore.count(name)) continue;
        EXPECT_NE(name, runtimeName) << "the runtime data file was left behind";
        std::string bytes = ReadFileBytes(temporaryFolder + name);
        for (size_t i = 0; i < 5; ++i) {
          EXPECT_NE(bytes, before[i].bytes) << "a backup of file " << i + 1 << " was left behind";
        }
      }
      runtimeData_ = NewRuntimeDataFile();
    }
  }
}
