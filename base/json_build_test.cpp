// jsoncpp is built from source with our toolchain; check that it parses and
// writes UTF-8 as the signer lists and product information need.
#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <sstream>

#include "base/string_conv.h"

TEST(JsonBuild, ParsesUtf8AndRejectsBrokenText) {
  const std::string text = "{\"name\":\"\xE5\xAE\x89\xE8\xA3\x85\",\"list\":[1,2,3]}";
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &root, &errors)) << errors;
  EXPECT_EQ(base::Utf8ToWide(root["name"].asString()), L"安装");
  EXPECT_EQ(root["list"].size(), 3u);
  const std::string broken = "{\"name\":";
  Json::Value partial;
  EXPECT_FALSE(reader->parse(broken.data(), broken.data() + broken.size(), &partial, &errors));

  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  writer["emitUTF8"] = true;
  EXPECT_EQ(Json::writeString(writer, root), "{\"list\":[1,2,3],\"name\":\"\xE5\xAE\x89\xE8\xA3\x85\"}");
}
