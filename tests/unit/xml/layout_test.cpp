#include "XmlTestSupport.h"
#include "engine/CXmlChangeUndo.h"
#include "xml/IXmlChangeObserver.h"

// Files with the flag 0x4 keep every byte the installation did not mean to
// change: the saved file differs from the original in the lines of the
// change only, and undoing the change gives back the original bytes.
namespace {

struct Recorder : IXmlChangeObserver {
  void OnXmlChange(XmlChange change) override { changes.push_back(std::move(change)); }
  XmlChangeList changes;
};

// The file's text as UTF-8 lines, each with its line end.
std::vector<std::string> Lines(const std::string& bytes) {
  std::string text = bytes;
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
    std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    text.assign(wide.size() * 3, '\0');
    text.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                        text.data(), static_cast<int>(text.size()), nullptr, nullptr)));
  }
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

// Lines only in `before`, lines only in `after` (longest common
// subsequence), and how many separate places differ.
struct LineDiff {
  std::vector<std::string> removed, added;
  int places = 0;
};

LineDiff DiffLines(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (size_t i = a.size(); i-- > 0;)
    for (size_t j = b.size(); j-- > 0;)
      common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
  LineDiff diff;
  bool inPlace = false;
  for (size_t i = 0, j = 0; i < a.size() || j < b.size();) {
    bool same = i < a.size() && j < b.size() && a[i] == b[j];
    if (!same && !inPlace) ++diff.places;
    inPlace = !same;
    if (same) {
      ++i, ++j;
    } else if (j < b.size() && (i == a.size() || common[i][j + 1] >= common[i + 1][j])) {
      diff.added.push_back(b[j++]);
    } else {
      diff.removed.push_back(a[i++]);
    }
  }
  return diff;
}

std::string Trimmed(const std::string& line) {
  size_t first = line.find_first_not_of(" \t\r\n"), last = line.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? "" : line.substr(first, last - first + 1);
}

std::string Indent(const std::string& line) { return line.substr(0, line.find_first_not_of(" \t")); }

std::wstring Evaluate(IXMLDOMDocument2* document, const wchar_t* xpath) {
  yv::ComPtr<IXMLDOMNode> node;
  yv::_stringw value;
  if (SUCCEEDED(document->selectSingleNode(yv::_stringw(xpath).bstr(), node.put())) && node)
    node->get_nodeName(value.out());
  return Text(value);
}

// Elements of the file that the changes work on, found by XPaths that fit
// any document; `attribute` is an unprefixed attribute of `withAttribute`.
const wchar_t* kWithAttribute = L"(//*[@*[not(contains(name(),':'))]])[last()]";
const wchar_t* kWithText = L"(//*[not(*) and normalize-space()])[last()]";
const wchar_t* kLeafWithSibling = L"(//*[not(*)][preceding-sibling::*])[last()]";

enum class Op {
  kSetAttribute,
  kAddAttribute,
  kRemoveAttribute,
  kSetText,
  kAppendText,
  kCreate,
  kCreateInEmpty,
  kRemove
};

// Makes the change `op`; false when the file has no place for it.
bool Make(Op op, CYVXmlFile& file, IXMLDOMDocument2* probe) {
  std::wstring attribute = Evaluate(probe, (std::wstring(kWithAttribute) + L"/@*[not(contains(name(),':'))]").c_str());
  yv::ComPtr<IXMLDOMElement> root;
  probe->get_documentElement(root.put());
  yv::_stringw rootUri;
  root->get_namespaceURI(rootUri.out());
  switch (op) {
    case Op::kSetAttribute:
    case Op::kAddAttribute:
    case Op::kRemoveAttribute: {
      if (attribute.empty() || !file.SelectXPath(kWithAttribute, L"", false, true)) return false;
      bool add = op == Op::kAddAttribute;
      int operation = op == Op::kRemoveAttribute ? AttributeOperation::kRemove : AttributeOperation::kSet;
      return file.UpdateAttribute(add ? L"yvMark" : attribute.c_str(), L"yv-mark", add, operation) == 0;
    }
    case Op::kSetText:
    case Op::kAppendText:
      return file.SelectXPath(kWithText, L"", false, true) &&
             file.SetElementContent(L"yv-mark", op == Op::kSetText ? ContentMode::kReplace : ContentMode::kAppend) == 0;
    case Op::kCreate:
      return file.SelectXPath(L"yvMark", rootUri, true, true);
    case Op::kCreateInEmpty:
      return !Evaluate(probe, L"//*[not(node())]").empty() &&
             file.SelectXPath(L"//*[not(node())]/yvMark", rootUri, true, true);
    case Op::kRemove:
      return !Evaluate(probe, kLeafWithSibling).empty() && file.SelectXPath(kLeafWithSibling, L"", false, true) &&
             file.RemoveElement() == 0;
  }
  return false;
}

}  // namespace

TEST(LayoutKeepingSave, CorpusFilesChangeOnlyInTheLinesOfTheChangeAndUndoGivesBackTheirBytes) {
  const wchar_t* files[] = {L"web.config",
                            L"app.config",
                            L"NLog.config",
                            L"log4net.config",
                            L"pom.xml",
                            L"Inventory.Api.csproj",
                            L"AndroidManifest.xml",
                            L"applicationContext.xml",
                            L"catalog.xml",
                            L"feed.rss",
                            L"OrderMapper.xml",
                            L"Resources.resx",
                            L"strings.xml",
                            L"Product.wxs",
                            L"envelope.xml",
                            L"NightlyBackup.task.xml",
                            L"company-cp1252.xml",
                            L"manual.xml"};
  const Op ops[] = {Op::kSetAttribute, Op::kAddAttribute, Op::kRemoveAttribute, Op::kSetText,
                    Op::kAppendText,   Op::kCreate,       Op::kCreateInEmpty,   Op::kRemove};
  TempFolder folder;
  for (const wchar_t* name : files) {
    std::string original = ReadFileBytes(FixtureFolder() + L"\\" + name);
    std::wstring path = folder.File(name);
    WriteFileBytes(path, original);
    yv::ComPtr<IXMLDOMDocument2> probe = ParseFile(path);
    ASSERT_TRUE(probe);
    for (Op op : ops) {
      SCOPED_TRACE(testing::Message() << Text(name) << " change " << static_cast<int>(op));
      WriteFileBytes(path, original);
      ScriptedEngine engine;
      Recorder recorder;
      CYVXmlFile file(path, &engine);
      file.SetFormatOnSave(false);
      ASSERT_EQ(file.Load(), 0);
      file.SetChangeObserver(&recorder);
      if (!Make(op, file, probe.get())) continue;
      ASSERT_EQ(file.Save(), 0);
      std::string saved = ReadFileBytes(path);
      bool fellBack = std::any_of(engine.lines.begin(), engine.lines.end(),
                                  [](const std::wstring& line) { return line.find(L"cannot be kept") != line.npos; });
      // Entities declared in the document type are beyond the layout reading.
      EXPECT_EQ(fellBack, std::wstring(name) == L"manual.xml") << saved;
      if (fellBack) continue;
      LineDiff diff = DiffLines(Lines(original), Lines(saved));
      // A document written on one line gets no line breaks either.
      bool oneLine = Lines(original).size() <= 2;
      EXPECT_EQ(diff.places, 1) << saved;
      bool removal = op == Op::kRemoveAttribute || op == Op::kRemove;
      bool crlf = original.find("\r\n") != std::string::npos;
      for (const std::string& line : diff.added) {
        // Every new line carries the change (but the tags of a parent that
        // was empty), and the file's line end.
        bool parentTag = op == Op::kCreateInEmpty && line.find("yvMark") == std::string::npos && !oneLine;
        EXPECT_EQ(line.find("yv") != std::string::npos, !removal && !parentTag) << line;
        EXPECT_TRUE(!crlf || line.back() != '\n' || line.substr(line.size() - 2) == "\r\n") << line;
      }
      switch (op) {
        case Op::kCreate:
          EXPECT_EQ(diff.removed.size(), oneLine ? 1u : 0u) << saved;
          EXPECT_EQ(diff.added.size(), 1u) << saved;
          break;
        case Op::kCreateInEmpty:  // <empty/> opens, holds the new line, closes
          EXPECT_EQ(diff.added.size(), diff.removed.size() + (oneLine ? 0 : 2)) << saved;
          break;
        case Op::kRemove:
          EXPECT_TRUE((oneLine || diff.added.empty()) && !diff.removed.empty()) << saved;
          break;
        case Op::kRemoveAttribute:
          EXPECT_TRUE(diff.removed.size() == 1 && diff.added.size() <= 1) << saved;
          break;
        default:
          EXPECT_TRUE(!diff.removed.empty() && diff.added.size() == 1) << saved;
      }
      if ((op == Op::kCreate || op == Op::kCreateInEmpty) && !oneLine) {
        // On a line of its own, indented, in its parent's namespace without
        // declaring it again, closed as the file closes its empty elements.
        auto made = std::find_if(diff.added.begin(), diff.added.end(), [](const std::string& line) {
          return Trimmed(line) == "<yvMark/>" || Trimmed(line) == "<yvMark />";
        });
        ASSERT_NE(made, diff.added.end()) << saved;
        EXPECT_FALSE(Indent(*made).empty());
      }
      // The undo an uninstall with the flag 0x10 makes.
      std::vector<yv::_stringw> content = file.CreatedElementContent();
      for (XmlChange& change : recorder.changes)
        if (change.kind == XmlChange::Kind::kCreated) change.after = content.front();
      file.SetChangeObserver(nullptr);
      EXPECT_EQ(CXmlChangeUndo(file, path.c_str()).UndoAll(recorder.changes), 0);
      ASSERT_EQ(file.Save(), 0);
      EXPECT_EQ(ReadFileBytes(path), original);
    }
  }
}

TEST(LayoutKeepingSave, ChangesTakeTheQuotesSpacingAndLineEndsOfTheFile) {
  TempFolder folder;
  std::wstring path = folder.File(L"quoted.config");
  WriteFileBytes(path, "<?xml version='1.0'?>\r\n<root>\r\n  <add key='a' value = 'x' />\r\n</root>\r\n");
  ScriptedEngine engine;
  CYVXmlFile file(path, &engine);
  file.SetFormatOnSave(false);
  ASSERT_EQ(file.Load(), 0);
  ASSERT_TRUE(file.SelectXPath(L"//add", L"", false, true));
  ASSERT_EQ(file.UpdateAttribute(L"value", L"it's", false, AttributeOperation::kSet), 0);
  ASSERT_TRUE(file.SelectXPath(L"item[@key='b']", L"", true, true));
  ASSERT_EQ(file.Save(), 0);
  EXPECT_EQ(
      ReadFileBytes(path),
      "<?xml version='1.0'?>\r\n<root>\r\n  <add key='a' value = 'it&apos;s' />\r\n  <item key='b' />\r\n</root>\r\n");
}
