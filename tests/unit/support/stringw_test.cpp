#include <gtest/gtest.h>

#include "support/com_exception.h"
#include "support/com_ptr.h"
#include "support/stringw.h"
#include "support/win32_exception.h"

using yv::_stringw;

TEST(StringW, KeepsTheThreadsLastErrorAcrossEveryOperation) {
  SetLastError(5);
  {
    _stringw s(L"abc");
    EXPECT_EQ(GetLastError(), 5u);
    s += L" and a text long enough to leave the in-object storage";
    s.append(300, L'x');
    s.insert(0, L"<");
    s.replace(0, 1, L">");
    s.erase(0, 1);
    s.resize(1000);
    s.reserve(5000);
    _stringw copy(s);
    _stringw moved(std::move(copy));
    copy = moved;
    s.format(L"%s-%d", L"x", 7);
    EXPECT_EQ(GetLastError(), 5u);
    (void)s.bstr();
    (void)s.narrow();
    EXPECT_EQ(GetLastError(), 5u);
    {
      // A failing call inside a writable buffer's lifetime does not leak out.
      auto buffer = s.writable(10);
      SetLastError(5);
    }
    EXPECT_EQ(GetLastError(), 5u);
  }
  EXPECT_EQ(GetLastError(), 5u) << "destruction must put the value back";
}

TEST(StringW, LongStorageIsABstrThatComCanMeasure) {
  _stringw s(40, L'q');
  // The heap storage of a long string is itself a BSTR: its length prefix is
  // valid, so COM can take the characters as they are.
  const wchar_t* data = s.c_str();
  EXPECT_GE(SysStringLen(const_cast<BSTR>(data)), 40u);
}

TEST(StringW, BstrViewFollowsTheTextAndNarrowViewConverts) {
  _stringw s(L"first");
  BSTR view = s.bstr();
  EXPECT_EQ(SysStringLen(view), 5u);
  EXPECT_STREQ(view, L"first");
  s = L"second text";
  view = s.bstr();
  EXPECT_EQ(SysStringLen(view), 11u);
  EXPECT_STREQ(view, L"second text");
  s = L"third text!";  // same length: reuses the cached copy
  EXPECT_STREQ(s.bstr(), L"third text!");

  _stringw long_text(1000, L'a');
  EXPECT_EQ(std::string(long_text.narrow()), std::string(1000, 'a'));
  EXPECT_STREQ(_stringw(L"short").narrow(), "short");
  EXPECT_STREQ(_stringw().narrow(), "");
}

TEST(StringW, WritableBufferAndBstrOutParameterTakeTheTextTheCallGave) {
  _stringw s(L"old");
  {
    auto buffer = s.writable(64);
    wcscpy(buffer, L"filled");
  }
  EXPECT_EQ(s, L"filled");
  EXPECT_EQ(s.size(), 6u);

  auto giveText = [](BSTR* out) {
    *out = SysAllocString(L"from COM");
    return S_OK;
  };
  giveText(s.out());
  EXPECT_EQ(s, L"from COM");
  auto giveNull = [](BSTR* out) {
    *out = nullptr;
    return S_FALSE;
  };
  giveNull(s.out());
  EXPECT_TRUE(s.empty());
}

TEST(StringW, FormatTakesWideStringsAndMeasuresFirst) {
  _stringw s;
  s.format(L"%s|%d|0x%lx|%s", L"wide", -12, 0x8007064Ful, L"");
  EXPECT_EQ(s, L"wide|-12|0x8007064f|");
  _stringw big(5000, L'z');
  s.format(L"<%s>", big.c_str());
  EXPECT_EQ(s.size(), 5002u);
  s.format(L"");
  EXPECT_TRUE(s.empty());
}

TEST(StringW, JoinPutsExactlyOneSeparatorBetweenTwoSides) {
  EXPECT_EQ(_stringw::join(L"C:\\dir\\", L"\\file"), L"C:\\dir\\file");
  EXPECT_EQ(_stringw::join(L"C:\\dir", L"file"), L"C:\\dir\\file");
  EXPECT_EQ(_stringw::join(L"C:\\dir\\", L"file"), L"C:\\dir\\file");
  EXPECT_EQ(_stringw::join(L"C:\\dir", L"\\file"), L"C:\\dir\\file");
  EXPECT_EQ(_stringw::join(L"C:\\dir", L""), L"C:\\dir");
  EXPECT_EQ(_stringw::join(L"", L"file"), L"file");
  EXPECT_EQ(_stringw::join(L"a/", L"b", L'/'), L"a/b");
}

TEST(StringW, TempFolderPathEndsInOneBackslash) {
  _stringw folder = yv::temp_folder_path();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'\\');
  EXPECT_NE(folder.substr(folder.size() - 2), L"\\\\");
}

TEST(StringW, NullTextIsEmpty) {
  const wchar_t* none = nullptr;
  _stringw s(none);
  EXPECT_TRUE(s.empty());
  s = L"x";
  s = none;
  EXPECT_TRUE(s.empty());
  s += none;
  EXPECT_TRUE(s.empty());
}

TEST(Win32Exception, LooksTheMessageUpOnlyForANonZeroCode) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  yv::win32_exception notFound;
  EXPECT_EQ(notFound.code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_GT(wcslen(notFound.message()), 0u);

  yv::win32_exception none(0);
  EXPECT_STREQ(none.message(), L"");

  // Copies share the text that was looked up once.
  yv::win32_exception copy(notFound);
  EXPECT_EQ(copy.message(), notFound.message());
  yv::win32_exception assigned(0);
  assigned = copy;
  EXPECT_EQ(assigned.code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(assigned.message(), notFound.message());
}

TEST(ComException, WithoutErrorInfoTakesTheSystemTextOrUnknownError) {
  SetErrorInfo(0, nullptr);
  com_exception known(E_OUTOFMEMORY);
  EXPECT_EQ(known.result(), E_OUTOFMEMORY);
  EXPECT_FALSE(known.description().empty());
  EXPECT_NE(known.description(), L"Unknown error");
  EXPECT_TRUE(known.source().empty());
  EXPECT_EQ(known.interfaceId(), GUID{});
  EXPECT_EQ(known.sourceClassId(), GUID{});

  com_exception unknown(static_cast<HRESULT>(0xA0047777));
  EXPECT_EQ(unknown.description(), L"Unknown error");
  EXPECT_STREQ(unknown.what(), "Unknown error");
}

TEST(ComException, TakesDescriptionAndSourceFromTheThreadsErrorInfo) {
  yv::ComPtr<ICreateErrorInfo> creator;
  ASSERT_EQ(CreateErrorInfo(creator.put()), S_OK);
  creator->SetDescription(const_cast<LPOLESTR>(L"the parser refused"));
  creator->SetSource(const_cast<LPOLESTR>(L"No.Such.ProgId"));
  const GUID someInterface = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  creator->SetGUID(someInterface);
  yv::ComPtr<IErrorInfo> info;
  ASSERT_EQ(creator.As(IID_IErrorInfo, info), S_OK);
  SetErrorInfo(0, info.get());

  com_exception e(E_FAIL);
  EXPECT_EQ(e.description(), L"the parser refused");
  EXPECT_EQ(e.source(), L"No.Such.ProgId");
  EXPECT_EQ(e.interfaceId(), someInterface);
  EXPECT_EQ(e.sourceClassId(), GUID{}) << "an unknown ProgID gives no class";
  com_exception copy(e);
  EXPECT_EQ(copy.description(), L"the parser refused");
}
