// Loading, creating and saving the document of a CYVXmlFile, with the user
// deciding through the engine's prompt what happens when the parser fails.

#include <ocidl.h>

#include "engine/CYVXMLInstallEngine.h"
#include "support/FileBytes.h"
#include "support/MessageLog.h"
#include "support/ReplacementFile.h"
#include "xml/CLayoutKeepingWriter.h"
#include "xml/CYVXmlFile.h"
#include "xml/ComVariant.h"
#include "xml/DeclaredEncoding.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlResults.h"

namespace {

// The document of `bytes`, read through a stream in memory.
HRESULT LoadDocumentBytes(IXMLDOMDocument2* document, const std::string& bytes, VARIANT_BOOL* loaded) {
  yv::ComPtr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
  if (SUCCEEDED(hr)) hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  LARGE_INTEGER start{};
  if (SUCCEEDED(hr)) hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return SUCCEEDED(hr) ? document->load(ComVariant::FromUnknown(stream.get()).get(), loaded) : hr;
}

// The parser opens files by URL, which stops at MAX_PATH characters: a file
// with a longer path is read and written through a stream in memory.
HRESULT LoadDocument(IXMLDOMDocument2* document, const yv::_stringw& path, VARIANT_BOOL* loaded) {
  if (path.size() < MAX_PATH) return document->load(ComVariant::FromText(path).get(), loaded);
  std::string bytes;
  if (!yv::ReadWholeFile(path, bytes)) return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
  return LoadDocumentBytes(document, bytes, loaded);
}

HRESULT SaveDocument(IXMLDOMDocument2* document, const yv::_stringw& path) {
  if (path.size() < MAX_PATH) return document->save(ComVariant::FromText(path).get());
  yv::ComPtr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
  if (SUCCEEDED(hr)) hr = document->save(ComVariant::FromUnknown(stream.get()).get());
  STATSTG status{};
  HGLOBAL memory = nullptr;
  if (SUCCEEDED(hr)) hr = stream->Stat(&status, STATFLAG_NONAME);
  if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.get(), &memory);
  if (FAILED(hr)) return hr;
  auto* bytes = static_cast<const char*>(GlobalLock(memory));
  bool written = bytes && yv::WriteWholeFile(path, std::string(bytes, static_cast<size_t>(status.cbSize.QuadPart)));
  GlobalUnlock(memory);
  return written ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

}  // namespace

bool CYVXmlFile::LoadOrCreate(HRESULT& hr) {
  hr = S_OK;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  // Existence is tested on every attempt, so a Retry picks up a file that
  // appeared, or builds one that vanished, in the meantime.
  if (Exists() && !(buildOverBlank_ && IsBlank())) {
    // The parser reads every line end as LF and writes its own kind; the
    // save puts back the kind the file had. A file kept as it is is read
    // whole, once: the parser reads these bytes, and the save writes the
    // changes over them in the file's layout.
    constexpr size_t kLineEndProbe = 64 * 1024;
    std::string start;
    if (formatOnSave_ || !yv::ReadWholeFile(path_, loadedBytes_)) loadedBytes_.clear();
    bool read = !loadedBytes_.empty() || yv::ReadFileStart(path_, start, kLineEndProbe);
    lineEnd_ = read ? xmlutils::FirstLineEnd(loadedBytes_.empty() ? start : loadedBytes_) : xmlutils::LineEnd::kUnknown;
    hr = loadedBytes_.empty() ? LoadDocument(document_.get(), path_, &loaded)
                              : LoadDocumentBytes(document_.get(), loadedBytes_, &loaded);
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
  }

  loadedBytes_.clear();
  LogMessage(IDS_CREATING_FILE, path_, rootElementName_);
  yv::_stringw text;
  if (!rootElementNamespace_.empty()) {
    text.format(L"<?xml version=\"%s\" %s?> \r\n\r\n<%s xmlns='%s'></%s>", xmlVersion_.c_str(),
                encodingDeclaration_.c_str(), rootElementName_.c_str(), rootElementNamespace_.c_str(),
                rootElementName_.c_str());
  } else {
    text.format(L"<?xml version=\"%s\" %s?> \r\n\r\n<%s></%s>", xmlVersion_.c_str(), encodingDeclaration_.c_str(),
                rootElementName_.c_str(), rootElementName_.c_str());
  }
  hr = document_->loadXML(RequireBstr(text), &loaded);
  return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
}

int CYVXmlFile::AskUser(int errorNumber, HRESULT hr) {
  // Without an engine nobody can answer; that counts as Abort, which also
  // keeps the result distinct from the missing-parser code.
  int answer = event_ ? event_->OnErrorPrompt(path_.c_str(), errorNumber, static_cast<int>(hr)) : PromptAnswer::kNone;
  if (answer == PromptAnswer::kIgnore) return XmlResult::kUserIgnore;
  if (answer == PromptAnswer::kAbort || answer == PromptAnswer::kNone) return XmlResult::kUserAbort;
  return XmlResult::kSuccess;  // Retry, and any answer the prompt does not define
}

int CYVXmlFile::Load() {
  currentNodes_.clear();
  rootElement_.reset();
  document_.reset();

  document_ = CreateDocument();
  if (!document_) return XmlResult::kNoParser;

  if (!selectionNamespaces_.empty()) {
    HRESULT hr =
        document_->setProperty(RequireBstr(L"SelectionNamespaces"), ComVariant::FromText(selectionNamespaces_).get());
    if (FAILED(hr)) LogMessage(IDS_SELECTION_NAMESPACES_FAILED, static_cast<unsigned long>(hr));
  }

  // A file saved without formatting keeps its own layout: the parser would
  // otherwise drop the whitespace between elements at load and write the
  // document back as one run of markup. A file that is formatted on save
  // gets its layout from the stylesheet instead, which the old whitespace
  // would only double.
  document_->put_preserveWhiteSpace(formatOnSave_ ? VARIANT_FALSE : VARIANT_TRUE);

  HRESULT hr = S_OK;
  while (!LoadOrCreate(hr)) {
    if (int result = AskUser(XmlPromptError::kLoadFailed, hr)) return result;
  }

  if (FAILED(document_->get_documentElement(rootElement_.put()))) return XmlResult::kDocumentElementUnreadable;
  if (!rootElement_) {
    LogMessage(IDS_NO_ROOT_ELEMENT, path_);
    return XmlResult::kNoRootElement;
  }
  return XmlResult::kSuccess;
}

int CYVXmlFile::Save() {
  if (!document_) return XmlResult::kSuccess;
  LogMessage(IDS_SAVING_FILE, path_);
  if (formatOnSave_) FormatDocument();

  HRESULT hr = SaveReplacing();
  while (FAILED(hr)) {
    if (int result = AskUser(XmlPromptError::kSaveFailed, hr)) return result;
    hr = SaveReplacing();
  }
  return XmlResult::kSuccess;
}

// The parser writes into a new file beside the target; only a file that was
// written, flushed and reads back as a whole document with the same root
// replaces the target. A parser that reports success on a full disk, or a
// process killed part-way, leaves the old bytes in place.
HRESULT CYVXmlFile::SaveReplacing() {
  yv::ReplacementFile replacement(path_);
  if (!replacement.valid()) return HRESULT_FROM_WIN32(GetLastError());
  std::string bytes;
  if (!loadedBytes_.empty() && WriteKeepingLayout(bytes)) {
    if (!yv::WriteWholeFile(replacement.path(), bytes)) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  } else {
    HRESULT hr = SaveDocument(document_.get(), replacement.path());
    if (FAILED(hr)) return hr;
    if (!KeepDeclaredEncoding(replacement.path()) || !KeepLineEnds(replacement.path()))
      return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
  if (!HoldsWholeDocument(replacement.path())) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  if (!replacement.Commit()) return HRESULT_FROM_WIN32(GetLastError());
  return S_OK;
}

bool CYVXmlFile::WriteKeepingLayout(std::string& bytes) const {
  xmlutils::CLayoutKeepingWriter writer;
  std::wstring why;
  if (writer.Read(loadedBytes_, why) && writer.Write(document_.get(), bytes, why)) return true;
  LogText(yv::_stringw().format(L"The layout of '%s' cannot be kept (%s); the parser writes it in its own",
                                path_.c_str(), why.c_str()));
  return false;
}

// A fresh document of the parser in use; the class is taken from the
// document itself so that no second parser choice is made (and logged).
yv::ComPtr<IXMLDOMDocument2> CYVXmlFile::CreateScratchDocument() const {
  yv::ComPtr<IPersistStreamInit> persist;
  CLSID parserClass{};
  yv::ComPtr<IXMLDOMDocument2> scratch;
  if (FAILED(document_.As(IID_IPersistStreamInit, persist)) || FAILED(persist->GetClassID(&parserClass)) ||
      FAILED(
          CoCreateInstance(parserClass, nullptr, CLSCTX_INPROC_SERVER, msxml::kIXMLDOMDocument2, scratch.put_void())))
    return nullptr;
  return scratch;
}

bool CYVXmlFile::HoldsWholeDocument(const yv::_stringw& path) const {
  yv::ComPtr<IXMLDOMDocument2> written = CreateScratchDocument();
  yv::ComPtr<IXMLDOMElement> writtenRoot;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (!written || FAILED(written->put_validateOnParse(VARIANT_FALSE)) ||
      FAILED(written->put_resolveExternals(VARIANT_FALSE)) || FAILED(LoadDocument(written.get(), path, &loaded)) ||
      loaded != VARIANT_TRUE || FAILED(written->get_documentElement(writtenRoot.put())) || !writtenRoot)
    return false;
  yv::ComPtr<IXMLDOMElement> root;
  if (FAILED(document_->get_documentElement(root.put())) || !root) return false;
  yv::_stringw expected, found;
  return SUCCEEDED(root->get_nodeName(expected.out())) && SUCCEEDED(writtenRoot->get_nodeName(found.out())) &&
         expected == found;
}

bool CYVXmlFile::KeepLineEnds(const yv::_stringw& path) const {
  if (lineEnd_ == xmlutils::LineEnd::kUnknown) return true;
  std::string bytes;
  if (!yv::ReadWholeFile(path, bytes)) return false;
  std::string kept = xmlutils::WithLineEnds(bytes, lineEnd_);
  return kept == bytes || yv::WriteWholeFile(path, kept);
}

bool CYVXmlFile::KeepDeclaredEncoding(const yv::_stringw& path) {
  yv::_stringw encoding = DeclaredEncodingOf(document_.get());
  UINT codePage = CodePageOfEncoding(encoding);
  if (codePage == 0 || codePage == CP_UTF8) return true;
  // A scratch document of the same parser shows whether it writes what the
  // declaration promises.
  yv::ComPtr<IXMLDOMDocument2> scratch = CreateScratchDocument();
  if (!scratch || !ParserWritesUtf8Regardless(scratch.get(), encoding, codePage)) return true;
  if (RewriteUtf8File(path, codePage)) {
    LogText(yv::_stringw().format(L"The parser wrote '%s' as UTF-8 although it declares %s; rewrote it in %s",
                                  path_.c_str(), encoding.c_str(), encoding.c_str()));
    return true;
  }
  LogText(yv::_stringw().format(L"The parser wrote '%s' as UTF-8 although it declares %s; it could not be rewritten",
                                path_.c_str(), encoding.c_str()));
  return false;
}
