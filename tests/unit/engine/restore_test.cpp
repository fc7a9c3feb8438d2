#include "engine/CXmlChangeRecorder.h"
#include "engine/CXmlChangeUndo.h"
#include "runtime_file/CRestoreRecord.h"
#include "unit/xml/XmlTestSupport.h"

// What the file flag 0x10 promises: every kind of change the install makes is
// recorded, travels through the record file, and is undone newest first by a
// later process; what was changed since is left and named in the log.
namespace {

namespace Op = AttributeOperation;

const char kOriginal[] =
    "<configuration xmlns:x=\"urn:x\">\n  <appSettings>\n    <add key=\"mode\" value=\"old\" gone=\"g\"/>\n"
    "    <old x:k=\"v\"><deep>t</deep></old>\n    <add key=\"last\"/>\n  </appSettings>\n"
    "  <title>before</title>\n  <mixed><c/></mixed>\n</configuration>\n";

// Every kind of change, recorded, the file saved, and the record stored and
// read back as a later process reads it.
XmlChangeList Install(LoadedDocument& doc) {
  CXmlChangeRecorder recorder;
  CYVXmlFile& file = doc.file;
  file.SetChangeObserver(&recorder);
  EXPECT_TRUE(doc.Select(L"appSettings/add[@key='mode']"));
  EXPECT_EQ(file.UpdateAttribute(L"value", L"new", false, Op::kSet), 0);
  EXPECT_EQ(file.UpdateAttribute(L"value", L"\r\n100%", false, Op::kAppend), 0);
  EXPECT_EQ(file.UpdateAttribute(L"gone", L"", false, Op::kRemove), 0);
  EXPECT_EQ(file.UpdateAttribute(L"made", L"m", true, Op::kSet), 0);
  EXPECT_EQ(file.UpdateAttribute(L"key", L"mode", false, Op::kSet), 0);  // no change, no record
  EXPECT_TRUE(doc.Select(L"appSettings/old"));
  EXPECT_EQ(file.RemoveElement(), 0);
  EXPECT_TRUE(doc.Select(L"appSettings/add[@key='new']", true));
  EXPECT_TRUE(doc.Select(L"appSettings/add[@key='new']/child", true));
  EXPECT_EQ(file.UpdateAttribute(L"value", L"n", true, Op::kSet), 0);
  EXPECT_TRUE(doc.Select(L"title"));
  EXPECT_EQ(file.SetElementContent(L"after", ContentMode::kReplace), 0);
  EXPECT_TRUE(doc.Select(L"mixed"));
  EXPECT_EQ(file.SetElementContent(L"tail", ContentMode::kAppend), 0);
  file.SetChangeObserver(nullptr);
  recorder.NoteCreatedContent(file.CreatedElementContent());
  EXPECT_EQ(file.Save(), 0);

  CRestoreRecord record, read;
  EXPECT_EQ(record.Open(doc.folder.File(L"product.restore.ini")), 0);
  record.SetChanges(L"App", doc.path.c_str(), recorder.changes());
  EXPECT_EQ(record.Store(), 0);
  EXPECT_EQ(read.Open(doc.folder.File(L"product.restore.ini")), 0);
  return read.Changes(L"App");
}

std::wstring CanonicalOf(const std::string& text) {
  TempFolder folder;
  WriteFileBytes(folder.File(L"x.xml"), text);
  return Canonical(ParseFile(folder.File(L"x.xml")).get(), true);
}

}  // namespace

TEST(XmlChangeUndo, EveryChangeComesBackThroughTheRecordInBothLayouts) {
  for (bool format : {false, true}) {
    LoadedDocument installed(kOriginal, L"", format);
    XmlChangeList changes = Install(installed);
    // The value's two changes are one; the predicate gives the created
    // element its key.
    ASSERT_EQ(changes.size(), 10u);
    EXPECT_EQ(Text(changes[0].element) + Text(changes[0].name) + Text(*changes[0].before) + Text(*changes[0].after),
              L"/1/1addoldnew\r\n100%");
    EXPECT_EQ(Text(changes[3].element) + Text(changes[3].namespaces) + std::to_wstring(changes[3].position),
              L"/1 xmlns:x=\"urn:x\"2");
    LoadedDocument later(ReadFileBytes(installed.path), L"", format);
    EXPECT_EQ(CXmlChangeUndo(later.file, L"app.config").UndoAll(changes), 0);
    EXPECT_EQ(later.SaveAndReload(true), CanonicalOf(kOriginal)) << format;
    // An uninstall that failed after the undo leaves the record: undoing it
    // again puts no removed element back twice.
    LoadedDocument again(ReadFileBytes(later.path), L"", format);
    CXmlChangeUndo(again.file, L"app.config").UndoAll(changes);
    EXPECT_EQ(again.SaveAndReload(true), CanonicalOf(kOriginal)) << format;
  }
}

TEST(XmlChangeUndo, WhatWasChangedSinceIsLeftAndNamedInTheLog) {
  LoadedDocument installed(kOriginal);
  XmlChangeList changes = Install(installed);
  LoadedDocument later(ReadFileBytes(installed.path));
  ASSERT_TRUE(later.Select(L"appSettings/add[@key='mode']"));
  later.file.UpdateAttribute(L"value", L"admin", false, Op::kSet);
  ASSERT_TRUE(later.Select(L"title"));
  later.file.SetElementContent(L"admin", ContentMode::kReplace);
  ASSERT_TRUE(later.Select(L"appSettings/add[@key='new']/child"));
  later.file.UpdateAttribute(L"admin", L"1", true, Op::kSet);
  later.engine.lines.clear();

  // The created element stays whole, with what the installation put into it.
  EXPECT_EQ(CXmlChangeUndo(later.file, L"app.config").UndoAll(changes), 3);
  W logged;
  for (const std::wstring& line : later.engine.lines)
    if (line.find(L" after ") != std::wstring::npos) logged.push_back(line);
  EXPECT_EQ(logged, (W{L"XML file 'app.config', XPath 'title' (element /2): the text was changed after the "
                       L"installation; it is left as it is",
                       L"XML file 'app.config', XPath 'appSettings/add[@key='new']' (element /1/3): the element the "
                       L"installation created was changed after it; it is left in place",
                       L"XML file 'app.config', XPath 'appSettings/add[@key='mode']' (element /1/1): attribute "
                       L"'value' was changed after the installation; it is left as it is"}));
  EXPECT_EQ(later.SaveAndReload(true),
            CanonicalOf("<configuration><appSettings><add key=\"mode\" value=\"admin\" gone=\"g\"/><old x:k=\"v\" "
                        "xmlns:x=\"urn:x\"><deep>t</deep></old><add key=\"last\"/><add key=\"new\"><child value=\"n\" "
                        "admin=\"1\"/></add></appSettings><title>admin</title><mixed><c/></mixed>"
                        "</configuration>"));
}
