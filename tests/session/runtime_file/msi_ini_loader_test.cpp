#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "actions/CXmlCfgActionBase.h"
#include "config/CXmlCfgPropertyBag.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileResults.h"

namespace {

// A deferred action's view of the runtime data file: the path arrives as the
// action's data, and the file was written by the costing action with every
// value already resolved against the installation.
class MsiIniLoaderSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestPackage package(folder_.File(L"session.msi"));
    package.Property(L"ProductCode", L"{7C1E2A3B-4D5F-4061-8A9B-0C1D2E3F4A5B}")
        .Property(L"INSTALLDIR", L"C:\\Program Files\\Resolved\\")
        .Property(L"Flavour", L"resolved value");
    package.Commit();
    session_ = std::make_unique<RecordedSession>(package.path());
  }

  // The bag the costing action would have written: texts that look like
  // installer references, which must reach the engine as they are.
  void FillStoredBag(CXmlCfgPropertyBag& bag) {
    CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"Settings");
    component->actionState = 3;
    CXmlCfgFileProp* file = component->AddFile(L"AppConfig");
    file->path = L"INSTALLDIR";
    file->uninstPath = L"[INSTALLDIR]";
    file->fileName = L"[Flavour].config";
    file->fileAttributes = 0xFFFFFFFF;
    file->attributes = 1;
    file->encoding = L"%TEMP%";
    CXmlCfgXPathProp* xpath = file->AddXPath(L"/configuration/[Flavour]");
    xpath->action = 0x11;
    xpath->content = L" [Flavour] ";
    CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"[Flavour]");
    attribute->value = L"[INSTALLDIR]";
    attribute->action = 1;
    bag.progressMessages[L"YV_PROGMSG_XML_COSTING"] = L"[Flavour]";
    for (const wchar_t* id : {L"YV_PROGMSG_XML_FILES", L"YV_PROGMSG_XML_CREATE_FILE", L"YV_PROGMSG_XML_UPDATE_FILE",
                              L"YV_PROGMSG_XML_REMOVE_FILE", L"YV_PROGMSG_XML_ROLLBACK_FILES"}) {
      bag.progressMessages[id] = L"Processing %s";
    }
  }

  TempFolder folder_;
  std::unique_ptr<RecordedSession> session_;
};

}  // namespace

TEST_F(MsiIniLoaderSessionTest, TheActionDataNamesTheFileAndValuesArriveAsStored) {
  std::wstring dataFile = folder_.File(L"XML1A2B.tmp");
  CXmlCfgPropertyBag stored;
  FillStoredBag(stored);
  CXmlIniWriter costingWriter(dataFile.c_str());
  ASSERT_EQ(stored.Save(costingWriter), 0);

  CXmlCfgActionBase action(session_->handle());
  ASSERT_EQ(action.SetProperty(L"CustomActionData", dataFile.c_str()), 0);
  session_->Clear();
  CXmlMsiIniLoader loader(action.GetRuntimeDataPath(true));
  CXmlCfgPropertyBag bag;
  ASSERT_EQ(bag.Load(loader), 0);

  const CXmlCfgFileProp& file = *bag.components.at(L"Settings")->files.at(L"AppConfig");
  EXPECT_EQ(file.path, L"INSTALLDIR") << "a path is not looked up as a property again";
  EXPECT_EQ(file.uninstPath, L"[INSTALLDIR]");
  EXPECT_EQ(file.fileName, L"[Flavour].config");
  EXPECT_EQ(file.encoding, L"%TEMP%") << "nor expanded from the environment";
  ASSERT_EQ(file.xpaths.size(), 1u);
  const CXmlCfgXPathProp& xpath = *file.xpaths.begin()->second;
  EXPECT_EQ(xpath.xpath, L"/configuration/[Flavour]");
  EXPECT_EQ(xpath.content, L" [Flavour] ");
  ASSERT_EQ(xpath.attributes.size(), 1u);
  EXPECT_EQ(xpath.attributes[0]->name, L"[Flavour]");
  EXPECT_EQ(xpath.attributes[0]->value, L"[INSTALLDIR]");
  EXPECT_EQ(bag.GetProgressMessage(L"YV_PROGMSG_XML_COSTING"), L"[Flavour]");
  EXPECT_TRUE(session_->messages().empty()) << "reading sends nothing to the installer";
}

TEST_F(MsiIniLoaderSessionTest, TheInstallWritesBackIntoTheSameFileForTheActionsAfterIt) {
  std::wstring dataFile = folder_.File(L"XML3C4D.tmp");
  CXmlCfgPropertyBag stored;
  FillStoredBag(stored);
  CXmlIniWriter costingWriter(dataFile.c_str());
  ASSERT_EQ(stored.Save(costingWriter), 0);
  CXmlCfgActionBase action(session_->handle());
  ASSERT_EQ(action.SetProperty(L"CustomActionData", dataFile.c_str()), 0);

  // The install action: read, note the backup and the created file, store.
  {
    CXmlMsiIniLoader loader(action.GetRuntimeDataPath(true));
    CXmlCfgPropertyBag bag;
    ASSERT_EQ(bag.Load(loader), 0);
    CXmlCfgFileProp& file = *bag.components.at(L"Settings")->files.at(L"AppConfig");
    file.tempFilePath = L"C:\\users\\root\\Temp\\XMLBACK.tmp";
    file.createdOnInstall = 1;
    CXmlIniWriter writer(action.GetRuntimeDataPath(true));
    ASSERT_EQ(bag.Save(writer), 0);
  }
  // The rollback action reads what the install left.
  CXmlMsiIniLoader loader(action.GetRuntimeDataPath(true));
  CXmlCfgPropertyBag rollback;
  ASSERT_EQ(rollback.Load(loader), 0);
  const CXmlCfgFileProp& file = *rollback.components.at(L"Settings")->files.at(L"AppConfig");
  EXPECT_EQ(file.tempFilePath, L"C:\\users\\root\\Temp\\XMLBACK.tmp");
  EXPECT_EQ(file.createdOnInstall, 1u);
  EXPECT_EQ(file.fileAttributes, 0xFFFFFFFFu);
  EXPECT_EQ(file.xpaths.size(), 1u) << "nothing was lost by the second write";
}

TEST_F(MsiIniLoaderSessionTest, MissingActionDataFailsBeforeAnyFileIsOpened) {
  CXmlCfgActionBase action(session_->handle());
  CXmlMsiIniLoader noData(action.GetRuntimeDataPath(true));
  CXmlCfgPropertyBag bag;
  EXPECT_EQ(bag.Load(noData), RuntimeFileResult::kNoPath);

  ASSERT_EQ(action.SetProperty(L"CustomActionData", folder_.File(L"gone.tmp").c_str()), 0);
  CXmlMsiIniLoader gone(action.GetRuntimeDataPath(true));
  EXPECT_EQ(bag.Load(gone), RuntimeFileResult::kCannotRead);
  EXPECT_TRUE(bag.components.empty());
}
