#include "app/ConsoleFrontEnd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool Parse(std::vector<std::string> words, ConsoleFrontEnd::Options& options, GString& error) {
  std::vector<char*> argv;
  static char program[] = "velgrade";
  argv.push_back(program);
  for (std::string& word : words) argv.push_back(word.data());
  return ConsoleFrontEnd::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ConsoleFrontEndTest, Options) {
  ConsoleFrontEnd::Options options;
  GString error;
  EXPECT_TRUE(Parse({"-c", "/tmp/conf", "--debug"}, options, error));
  EXPECT_STREQ("/tmp/conf/", options.configFolder.Text());
  EXPECT_TRUE(options.debug);
  EXPECT_STREQ("/tmp/conf/", ConsoleFrontEnd::ChooseConfigFolder(options).Text());

  ConsoleFrontEnd::Options bad;
  EXPECT_FALSE(Parse({"--config-dir"}, bad, error));
  EXPECT_STREQ("option --config-dir needs a folder", error.Text());
  EXPECT_FALSE(Parse({"--bogus"}, bad, error));
  EXPECT_STREQ("unknown option --bogus", error.Text());
  ConsoleFrontEnd::Options signOn;
  EXPECT_TRUE(Parse({"--login", "--commands"}, signOn, error));
  EXPECT_TRUE(signOn.login);
  EXPECT_TRUE(signOn.commands);
  EXPECT_FALSE(options.login);
  EXPECT_FALSE(options.commands);
  ConsoleFrontEnd::Options help;
  EXPECT_TRUE(Parse({"-h"}, help, error));
  EXPECT_TRUE(help.help);
}

TEST(ConsoleFrontEndTest, MessagesAreLabelled) {
  EXPECT_STREQ("velgrade: error: Socket error on listen socket.\n",
               ConsoleFrontEnd::FormatMessageLine("Socket error on listen socket.", kMessageError).Text());
  EXPECT_STREQ("velgrade: warning: w\n", ConsoleFrontEnd::FormatMessageLine("w\n", kMessageWarning).Text());
  EXPECT_STREQ("velgrade: information: i\n", ConsoleFrontEnd::FormatMessageLine("i", kMessageInformation).Text());
}

TEST(ConsoleFrontEndTest, LoginFromLinesOfInput) {
  std::FILE* input = std::tmpfile();
  ASSERT_NE(nullptr, input);
  std::fputs("/home/u/alice.epf\r\nsecret pass\n", input);
  std::rewind(input);
  GString profile;
  GString password;
  EXPECT_TRUE(ConsoleFrontEnd::ReadLoginLines(input, profile, password));
  EXPECT_STREQ("/home/u/alice.epf", profile.Text());
  EXPECT_STREQ("secret pass", password.Text());
  EXPECT_FALSE(ConsoleFrontEnd::ReadLoginLines(input, profile, password));
  std::fclose(input);
}

TEST(ConsoleFrontEndTest, CallbacksLogOnlyWhenAsked) {
  EXPECT_EQ(nullptr, ConsoleFrontEnd::MakeCallbacks(false).log);
  EXPECT_NE(nullptr, ConsoleFrontEnd::MakeCallbacks(true).log);
  EXPECT_NE(nullptr, ConsoleFrontEnd::MakeCallbacks(false).loginPrompt);
}

}  // namespace
