#include "package/archive_streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/temp_workspace.h"

namespace package {
namespace {

// Keeps one reference for the test, as the extraction code does.
template <class T>
CMyComPtr<T> Own(T* object) {
  return CMyComPtr<T>(object);
}

class InBufferStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    impl_ = new CInBufferStream;
    stream_ = impl_;
    ASSERT_TRUE(impl_->Init(data_, sizeof(data_) - 1));  // 10 bytes
  }
  const char data_[11] = "0123456789";
  CInBufferStream* impl_ = nullptr;
  CMyComPtr<IInStream> stream_;
};

TEST(InBufferStreamInitTest, RefusesMissingOrEmptyBuffers) {
  CMyComPtr<IInStream> holder;
  CInBufferStream* impl = new CInBufferStream;
  holder = impl;
  char byte = 0;
  EXPECT_FALSE(impl->Init(nullptr, 10));
  EXPECT_FALSE(impl->Init(&byte, 0));
  EXPECT_FALSE(impl->Init(&byte, -1));
  CMyComPtr<IStreamGetSize> size_getter;
  ASSERT_EQ(holder->QueryInterface(IID_IStreamGetSize, reinterpret_cast<void**>(&size_getter)),
            S_OK);
  UInt64 size = 0;
  EXPECT_EQ(size_getter->GetSize(&size), E_FAIL);
}

TEST_F(InBufferStreamTest, ReadsWithinTheBufferOnly) {
  char out[8] = {};
  UInt32 processed = 99;
  ASSERT_EQ(stream_->Read(out, 4, &processed), S_OK);
  EXPECT_EQ(processed, 4u);
  EXPECT_EQ(std::string(out, 4), "0123");
  // Six bytes remain; asking for seven reads nothing.
  EXPECT_EQ(stream_->Read(out, 7, &processed), E_FAIL);
  EXPECT_EQ(processed, 0u);
  ASSERT_EQ(stream_->Read(out, 6, &processed), S_OK);
  EXPECT_EQ(std::string(out, 6), "456789");
  EXPECT_EQ(stream_->Read(out, 0, nullptr), S_OK);
}

TEST_F(InBufferStreamTest, SeekRules) {
  UInt64 position = 99;
  EXPECT_EQ(stream_->Seek(0, 3, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(10, 0, &position), E_FAIL);  // not below the length
  ASSERT_EQ(stream_->Seek(0, 2, &position), S_OK);
  EXPECT_EQ(position, 10u);
  EXPECT_EQ(stream_->Seek(1, 2, &position), E_FAIL);
  ASSERT_EQ(stream_->Seek(-3, 2, &position), S_OK);
  EXPECT_EQ(position, 7u);
  char c = 0;
  ASSERT_EQ(stream_->Read(&c, 1, nullptr), S_OK);
  EXPECT_EQ(c, '7');
  ASSERT_EQ(stream_->Seek(2, 0, &position), S_OK);
  ASSERT_EQ(stream_->Seek(3, 1, &position), S_OK);
  EXPECT_EQ(position, 5u);
  EXPECT_EQ(stream_->Seek(6, 1, &position), E_FAIL);  // past the end
  EXPECT_NE(stream_->Seek(-6, 1, &position), S_OK);   // before the start
  EXPECT_NE(stream_->Seek(-1, 0, &position), S_OK);
  EXPECT_NE(stream_->Seek(-11, 2, &position), S_OK);
  ASSERT_EQ(stream_->Read(&c, 1, nullptr), S_OK);  // position unchanged by refusals
  EXPECT_EQ(c, '5');
}

TEST_F(InBufferStreamTest, AnswersOnlyItsInterfaces) {
  void* object = nullptr;
  EXPECT_EQ(stream_->QueryInterface(IID_IOutStream, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  CMyComPtr<IUnknown> unknown;
  EXPECT_EQ(stream_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  CMyComPtr<IStreamGetSize> size_getter;
  ASSERT_EQ(stream_->QueryInterface(IID_IStreamGetSize, reinterpret_cast<void**>(&size_getter)),
            S_OK);
  UInt64 size = 0;
  ASSERT_EQ(size_getter->GetSize(&size), S_OK);
  EXPECT_EQ(size, 10u);
  // Ours, the test's and the two interface pointers.
  EXPECT_EQ(stream_->AddRef(), 4u);
  EXPECT_EQ(stream_->Release(), 3u);
}

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(NewTempPath(&path_)); }
  void TearDown() override { DeleteFileW(path_.c_str()); }
  std::wstring path_;
};

TEST_F(FileStreamTest, OutStreamWritesCountsAndResizes) {
  COutFileStream* impl = new COutFileStream;
  CMyComPtr<IOutStream> stream(impl);
  ASSERT_TRUE(impl->Create(path_.c_str()));
  UInt32 processed = 0;
  ASSERT_EQ(stream->Write("abcdef", 6, &processed), S_OK);
  EXPECT_EQ(processed, 6u);
  ASSERT_EQ(stream->Write("gh", 2, nullptr), S_OK);
  EXPECT_EQ(impl->ProcessedSize(), 8u);
  EXPECT_EQ(stream->Seek(0, 3, nullptr), STG_E_INVALIDFUNCTION);
  ASSERT_EQ(stream->SetSize(4), S_OK);
  UInt64 position = 0;
  ASSERT_EQ(stream->Seek(0, 1, &position), S_OK);
  EXPECT_EQ(position, 8u);  // SetSize keeps the position
  ASSERT_EQ(stream->Seek(0, 2, &position), S_OK);
  EXPECT_EQ(position, 4u);
  ASSERT_EQ(stream->Write("Z", 1, nullptr), S_OK);
  EXPECT_EQ(impl->Close(), S_OK);
  EXPECT_FALSE(impl->IsOpen());

  CInFileStream* in_impl = new CInFileStream;
  CMyComPtr<IInStream> in(in_impl);
  ASSERT_TRUE(in_impl->Open(path_.c_str()));
  char buffer[16] = {};
  ASSERT_EQ(in->Read(buffer, sizeof(buffer), &processed), S_OK);
  EXPECT_EQ(std::string(buffer, processed), "abcdZ");
  CMyComPtr<IStreamGetSize> size_getter;
  ASSERT_EQ(in->QueryInterface(IID_IStreamGetSize, reinterpret_cast<void**>(&size_getter)), S_OK);
  UInt64 size = 0;
  ASSERT_EQ(size_getter->GetSize(&size), S_OK);
  EXPECT_EQ(size, 5u);
  ASSERT_EQ(in->Seek(-2, 2, &position), S_OK);
  EXPECT_EQ(position, 3u);
  EXPECT_EQ(in->Seek(0, 7, &position), STG_E_INVALIDFUNCTION);
}

TEST_F(FileStreamTest, InStreamOnMissingFileFails) {
  CInFileStream* impl = new CInFileStream;
  CMyComPtr<IInStream> stream(impl);
  EXPECT_FALSE(impl->Open(path_.c_str()));
}

}  // namespace
}  // namespace package
