#include <gtest/gtest.h>

#include <stdexcept>

#include "actions/ActionRunner.h"
#include "config/CXmlCfgPropertyBag.h"
#include "engine/CXMLMSIInstallEngine.h"
#include "kit/ModuleLibrary.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CRuntimeDataStore.h"
#include "runtime_file/CXmlIniWriter.h"
#include "support/Sha256.h"

namespace {

using Texts = std::vector<std::wstring>;

std::wstring NewRuntimeDataFile() {
  wchar_t name[MAX_PATH];
  GetTempFileNameW(yv::temp_folder_path().c_str(), L"XML", 0, name);
  return name;
}

// The deferred actions through the module's exports, over runtime data files
// the test writes as the costing action would.
class MsiEngineTest : public ::testing::Test {
 protected:
  ~MsiEngineTest() override {
    DeleteFileW(runtimeData_.c_str());
    DeleteFileW(StatePath().c_str());
  }
  std::wstring MakePackage() {
    TestPackage package(folder_.File(L"engine.msi"));
    package.ErrorPromptRows().Property(L"ProductCode", L"{2A3B4C5D-6E7F-4081-92A3-B4C5D6E7F809}").Commit();
    return package.path();
  }
  // A file of `component` in the test folder whose element `xpath` gets
  // the attribute changed="yes".
  CXmlCfgFileProp& Change(CXmlCfgPropertyBag& bag, const std::wstring& component, int state, const std::wstring& name,
                          const wchar_t* xpath, DWORD flags = 0) {
    CXmlCfgComponentProp* c = bag.GetOrAddComponent(component.c_str());
    c->actionState = state;
    CXmlCfgFileProp* file = c->AddFile(name.c_str());
    file->path = folder_.path().c_str();
    file->fileName = name.c_str();
    file->fileAttributes = kUnknownFileAttributes;
    file->attributes = flags;
    file->rootElementName = L"created";
    AddChange(*file, xpath);
    return *file;
  }
  static CXmlCfgXPathAttribProp& AddChange(CXmlCfgFileProp& file, const wchar_t* xpath) {
    CXmlCfgXPathProp* x = file.AddXPath(xpath);
    x->action = XmlElementFlags::kCreateOnInstall;
    CXmlCfgXPathAttribProp* attribute = x->AddAttribute(L"changed");
    attribute->value = L"yes";
    attribute->action = XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing;
    return *attribute;
  }
  // Stores `bag` as the runtime data file and names it, with its digest and
  // a new installation's token, in the action data.
  void Store(const CXmlCfgPropertyBag& bag) {
    CXmlIniWriter writer(runtimeData_.c_str());
    ASSERT_EQ(bag.Save(writer), 0);
    reference_ = RuntimeDataReference{runtimeData_.c_str(), writer.digest(), yv::RandomHexToken()}.Format().c_str();
    MsiSetPropertyW(session_.handle(), L"CustomActionData", reference_.c_str());
  }
  std::wstring StatePath() {
    std::wstring token = reference_.substr(reference_.rfind(L'|') + 1);
    return CRuntimeDataStore::FolderForThisProcess().c_str() + (L"\\" + token + L".ini");
  }
  UINT Call(const char* action) { return module_.CallAction(action, session_.handle()); }
  std::wstring PathOf(const std::wstring& name) { return folder_.File(name); }
  bool Changed(const std::wstring& name) { return ReadFileBytes(PathOf(name)).find("changed") != std::string::npos; }
  Texts Recorded(INSTALLMESSAGE type, size_t field) {
    Texts texts;
    for (const auto& m : session_.OfType(type)) texts.push_back(m.Field(field));
    return texts;
  }

  TempFolder folder_;
  RecordedSession session_{MakePackage()};
  std::wstring runtimeData_ = NewRuntimeDataFile();
  std::wstring reference_;
  ModuleLibrary module_;
};

}  // namespace

// An install changes one file (creating an element below the root) and
// creates another, showing each in the progress dialog; a rollback (as after a later action failed) says so and
// puts both back; the commit cleans up, and a runtime data file it cannot
// delete is logged without failing it.
TEST_F(MsiEngineTest, InstallShowsEachFileRollbackSaysSoAndCommitCleansUp) {
  const std::string original = "<configuration><appSettings/></configuration>";
  WriteFileBytes(PathOf(L"web.config"), original);
  CXmlCfgPropertyBag bag;
  bag.progressMessages = {{L"YV_PROGMSG_XML_COSTING", L"-"},
                          {L"YV_PROGMSG_XML_FILES", L"-"},
                          {L"YV_PROGMSG_XML_REMOVE_FILE", L"-"},
                          {L"YV_PROGMSG_XML_CREATE_FILE", L"Creating %s %d %s"},
                          {L"YV_PROGMSG_XML_UPDATE_FILE", L"Updating %s (100%% sure)"},
                          {L"YV_PROGMSG_XML_ROLLBACK_FILES", L"Rolling back XML files"}};
  Change(bag, L"Web", INSTALLSTATE_LOCAL, L"web.config", L"//appSettings/add");
  Change(bag, L"Web", INSTALLSTATE_LOCAL, L"new.xml", L"//", XmlFileFlags::kCreateIfMissing);
  Store(bag);

  EXPECT_EQ(Call("YVXmlInstall"), 0u);
  EXPECT_TRUE(Changed(L"web.config") && Changed(L"new.xml"));
  // A template's one argument fills its first "%s" only; any further
  // placeholder is shown as written, never formatted from missing arguments.
  EXPECT_EQ(Recorded(INSTALLMESSAGE_ACTIONSTART, 2),
            (Texts{L"Creating " + PathOf(L"new.xml") + L" %d %s", L"Updating " + PathOf(L"new.xml") + L" (100% sure)",
                   L"Updating " + PathOf(L"web.config") + L" (100% sure)"}));
  session_.Clear();
  EXPECT_EQ(Call("YVXmlRollback"), 0u);
  EXPECT_EQ(Recorded(INSTALLMESSAGE_ACTIONSTART, 2), Texts{L"Rolling back XML files"});
  EXPECT_EQ(ReadFileBytes(PathOf(L"web.config")), original);
  EXPECT_FALSE(FileExists(PathOf(L"new.xml")));
  EXPECT_FALSE(FileExists(runtimeData_) || FileExists(StatePath())) << "the rolled back installation is gone";
  EXPECT_EQ(Call("YVXmlCommit"), 0u) << "nothing left to commit";

  // Someone holds the runtime data file open without letting it be deleted.
  Store(bag);
  EXPECT_EQ(Call("YVXmlInstall"), 0u);
  HANDLE held = CreateFileW(runtimeData_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  session_.Clear();
  EXPECT_EQ(Call("YVXmlCommit"), 0u);
  CloseHandle(held);
  EXPECT_EQ(session_.LogLines(), Texts{L"CXmlCfgEngine::DoFinalize() - Error removing file:  " + runtimeData_});
  EXPECT_EQ(Call("YVXmlCommit"), 0u);
  EXPECT_FALSE(FileExists(runtimeData_));
}

// Install changes the components being installed or advertised, uninstall
// those being removed or advertised; the finalize action cleans up only when
// rollback is disabled (otherwise commit does); without action data the
// deferred actions fail with the reader's code.
TEST_F(MsiEngineTest, ActionStatesAndRollbackDisabledChooseWhatEachActionDoes) {
  CXmlCfgPropertyBag bag;
  const int states[] = {INSTALLSTATE_ADVERTISED, INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL,
                        INSTALLSTATE_UNKNOWN,    INSTALLSTATE_SOURCE, INSTALLSTATE_DEFAULT};
  auto name = [](int state) { return L"state" + std::to_wstring(state) + L".xml"; };
  for (int state : states)
    Change(bag, L"Comp" + std::to_wstring(state), state, name(state), L"//").xpaths[L"//"]->attributes[0]->action |=
        XmlAttributeFlags::kApplyOnUninstall;
  Store(bag);
  for (const char* action : {"YVXmlInstall", "YVXmlUnInstall"}) {
    for (int state : states) WriteFileBytes(PathOf(name(state)), "<r/>");
    EXPECT_EQ(Call(action), 0u);
    int chosen = action == std::string("YVXmlInstall") ? INSTALLSTATE_LOCAL : INSTALLSTATE_ABSENT;
    for (int state : states)
      EXPECT_EQ(Changed(name(state)), state == INSTALLSTATE_ADVERTISED || state == chosen) << action << " " << state;
  }
  MsiSetPropertyW(session_.handle(), L"YVXmlFinalize", reference_.c_str());
  EXPECT_EQ(Call("YVXmlFinalize"), 0u);
  EXPECT_TRUE(FileExists(runtimeData_));
  MsiSetPropertyW(session_.handle(), L"RollbackDisabled", L"1");
  EXPECT_EQ(Call("YVXmlFinalize"), 0u);
  EXPECT_FALSE(FileExists(runtimeData_));

  MsiSetPropertyW(session_.handle(), L"CustomActionData", L"");
  EXPECT_EQ(Call("YVXmlInstall"), static_cast<UINT>(-1310));
  EXPECT_EQ(Call("YVXmlRollback"), static_cast<UINT>(-1310));
  EXPECT_EQ(Call("YVXmlCommit"), 0u) << "nothing to clean up";
}

// A file that does not parse, and a user answering its load prompt: Abort,
// and every answer that is no button of the Abort/Retry/Ignore box (OK,
// Cancel, a failed call's -1), ends the file with -2004 (in the installer's
// unsigned form) after that one prompt; Retry asks again; Ignore skips the
// file as a success.
TEST_F(MsiEngineTest, LoadPromptAnswersDecideTheResult) {
  const std::string broken = "<configuration><unclosed></configuration>";
  WriteFileBytes(PathOf(L"broken.xml"), broken);
  CXmlCfgPropertyBag bag;
  Change(bag, L"Main", INSTALLSTATE_LOCAL, L"broken.xml", L"//configuration");
  struct Case {
    std::vector<int> answers;
    UINT result;
    size_t prompts;
  } cases[] = {{{IDABORT}, 0xFFFFF82Cu, 1},          {{IDOK}, 0xFFFFF82Cu, 1},
               {{IDCANCEL}, 0xFFFFF82Cu, 1},         {{-1}, 0xFFFFF82Cu, 1},
               {{IDRETRY, IDABORT}, 0xFFFFF82Cu, 2}, {{IDIGNORE}, 0, 1}};
  for (const Case& c : cases) {
    Store(bag);
    session_.Clear();
    session_.AnswerPrompts(c.answers);
    EXPECT_EQ(Call("YVXmlInstall"), c.result) << "answer " << c.answers[0];
    EXPECT_EQ(session_.OfType(INSTALLMESSAGE_ERROR).size(), c.prompts) << "answer " << c.answers[0];
    EXPECT_EQ(Call("YVXmlCommit"), 0u);
  }
  EXPECT_EQ(ReadFileBytes(PathOf(L"broken.xml")), broken);
}

// Five files that exist and one the install creates, with a failure injected
// at every point of the install in turn. Whatever happened, the rollback
// action puts every existing file back byte for byte with its attributes and
// removes the created one; and nothing of the module stays in the temporary
// folder once the commit action has run.
TEST_F(MsiEngineTest, NothingIsLostWhereverTheInstallFails) {
  const Texts names = {L"f1.xml", L"f2.xml", L"f3.xml", L"f4.xml", L"f5.xml", L"f6.xml"};
  auto content = [](size_t i) {
    return "<?xml version=\"1.0\"?>\r\n<root n=\"" + std::to_string(i) + "\">\r\n  <item>text " + std::to_string(i) +
           "</item>\r\n</root>\r\n";
  };
  auto snapshot = [&](size_t i) {
    return ReadFileBytes(PathOf(names[i])) + "|" + std::to_string(GetFileAttributesW(PathOf(names[i]).c_str()));
  };
  // Backups are made in the private state folder; the runtime data file is
  // in the temporary folder.
  const std::wstring stateFolder = CRuntimeDataStore::FolderForThisProcess().c_str();
  auto moduleFiles = [&] {
    std::set<std::wstring> files = TemporaryModuleFiles(), backups = TemporaryModuleFiles(stateFolder);
    files.insert(backups.begin(), backups.end());
    return files;
  };
  std::set<std::wstring> temporaryBefore = moduleFiles();
  temporaryBefore.erase(runtimeData_);
  enum class Fault { kBackup, kElement, kSaveRefused, kInterrupted };
  for (Fault fault : {Fault::kBackup, Fault::kElement, Fault::kSaveRefused, Fault::kInterrupted}) {
    for (size_t k = 0; k < names.size(); ++k) {
      const bool created = k == 5;
      if (fault == Fault::kBackup && created) continue;  // a created file has no backup to fail
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at file " + std::to_string(k + 1));

      // Five existing files, one hidden; f6 is missing and created.
      for (size_t i = 0; i < 5; ++i) {
        SetFileAttributesW(PathOf(names[i]).c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteFileBytes(PathOf(names[i]), content(i));
      }
      SetFileAttributesW(PathOf(L"f2.xml").c_str(), FILE_ATTRIBUTE_HIDDEN);
      SetFileAttributesW(PathOf(L"f6.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(PathOf(L"f6.xml").c_str());
      RemoveDirectoryW(PathOf(L"f6.xml").c_str());

      CXmlCfgPropertyBag bag;
      for (size_t i = 0; i < names.size(); ++i) {
        CXmlCfgFileProp& file =
            Change(bag, L"Comp", INSTALLSTATE_LOCAL, names[i], L"//item", XmlFileFlags::kCreateIfMissing);
        if (fault == Fault::kElement && i == k) {
          // An attribute on a text node cannot be set: the file fails part-way,
          // after its item got new content.
          file.xpaths[L"//item"]->action |= XmlElementFlags::kReplaceContent;
          file.xpaths[L"//item"]->content = L"new text";
          AddChange(file, L"//item/text()");
        }
      }
      Store(bag);

      if (fault == Fault::kSaveRefused) {
        if (created)
          CreateDirectoryW(PathOf(names[k]).c_str(), nullptr);  // nothing can be saved under that name
        else
          SetFileAttributesW(PathOf(names[k]).c_str(), FILE_ATTRIBUTE_READONLY);
        session_.AnswerPrompts({IDABORT});
      }
      std::vector<std::string> before;
      for (size_t i = 0; i < 5; ++i) before.push_back(snapshot(i));
      HANDLE lock = INVALID_HANDLE_VALUE;
      if (fault == Fault::kBackup || (fault == Fault::kSaveRefused && !created)) {
        // For the backup, nobody may even read the file, so no copy can be
        // made. For the save, readers are let in and writers are not: the
        // backup and the load work, the save does not. (Wine running as root
        // writes read-only files, so the read-only attribute alone would not
        // refuse the save there.)
        lock = CreateFileW(PathOf(names[k]).c_str(), GENERIC_READ, fault == Fault::kBackup ? 0 : FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
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
        result = RunAction<Interrupted>(session_.handle(), L"YVXmlInstall", [k](Interrupted& engine) {
          engine.stopAfter = k + 1;
          return engine.Install();
        });
      } else {
        result = Call("YVXmlInstall");
      }
      if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
      if (!(fault == Fault::kInterrupted && created)) {
        EXPECT_NE(result, 0u) << "the install must fail";
      }

      EXPECT_EQ(Call("YVXmlRollback"), 0u);
      for (size_t i = 0; i < 5; ++i) EXPECT_EQ(snapshot(i), before[i]) << "bytes and attributes of file " << i + 1;
      if (!(fault == Fault::kSaveRefused && created)) {
        EXPECT_FALSE(FileExists(PathOf(L"f6.xml")));
      }
      EXPECT_EQ(Call("YVXmlCommit"), 0u);
      // Other test programs share the temporary folder and may add files of
      // the same names meanwhile: what must be gone is this run's runtime
      // data file and every copy of this run's files.
      EXPECT_FALSE(FileExists(StatePath())) << "the private state was left behind";
      for (const std::wstring& path : moduleFiles()) {
        if (temporaryBefore.count(path)) continue;
        EXPECT_NE(path, runtimeData_) << "the runtime data file was left behind";
        std::string bytes = ReadFileBytes(path);
        for (size_t i = 0; i < 5; ++i) EXPECT_NE(bytes, content(i)) << "a backup of file " << i + 1 << " was left";
      }
      runtimeData_ = NewRuntimeDataFile();
    }
  }
}
