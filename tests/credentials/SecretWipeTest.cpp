// Passwords handed to sign-on, and every copy made of them on the way, are
// overwritten before their memory is freed. This binary is linked with every
// free of its own code (and of the program's libraries linked into it)
// routed through __wrap_free, which searches each block for the watched
// passwords before it goes.
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/ConsoleCommands.h"
#include "app/ConsoleFrontEnd.h"
#include "credentials/SignOnManager.h"
#include "tests/credentials/SignOnSupport.h"

extern "C" void __real_free(void* block);

namespace {

// The passwords live in static storage only: the test makes no heap copy of
// its own.
constexpr char kPassword[] = "Pw-4b8e1d-wipe-before-free";
constexpr char kNewPassword[] = "Pw-90c2aa-wipe-this-too";
constexpr char kProfileFile[] = "alice.epf";

std::atomic<bool> watching{false};
std::atomic<int> leaks{0};

// A block leaks a password when it still holds its middle part.
void Inspect(const void* block) {
  size_t size = malloc_usable_size(const_cast<void*>(block));
  for (const char* secret : {kPassword, kNewPassword}) {
    size_t length = std::strlen(secret) - 8;
    if (size >= length && memmem(block, size, secret + 4, length) != nullptr) ++leaks;
  }
}

bool Prompt(GString& profile, GString& password, void* context) {
  profile = static_cast<const char*>(context);
  password = kPassword;
  return true;
}

}  // namespace

extern "C" void __wrap_free(void* block) {
  if (block != nullptr && watching.load()) Inspect(block);
  __real_free(block);
}

namespace {

TEST(SecretWipeTest, PasswordsAreWipedBeforeTheyAreFreed) {
  signontest::World world;
  world.folder.Write("password", std::string(kPassword) + "\n");
  ASSERT_TRUE(signontest::RunAdmin(world.folder.Path(),
                                   "issue --ca ca --name 'cn=Alice,o=Example' --password-file password --out alice.epf"));
  std::remove((world.folder.Path() + "password").c_str());
  world.folder.Write("corvask.ini", enginetest::IniWithPort(enginetest::FreePort()));
  GString profile = GString(world.folder.Path().c_str()) + kProfileFile;

  // Typed input without a stream buffer, as the console reads it.
  std::FILE* input = std::tmpfile();
  ASSERT_NE(nullptr, input);
  std::setvbuf(input, nullptr, _IONBF, 0);
  std::fprintf(input, "%s\n%s\n%s\n%s\n%s\n%s\n", "passwd", kPassword, kNewPassword, kNewPassword, "logout",
               "quit");
  std::rewind(input);
  std::FILE* output = std::tmpfile();
  ASSERT_NE(nullptr, output);

  EngineCallbacks callbacks = ConsoleFrontEnd::MakeCallbacks(false);
  callbacks.loginPrompt = Prompt;
  watching = true;
  {
    Velgrade engine(world.folder.Path().c_str(), callbacks, const_cast<char*>(profile.Text()));
    SignOnManager::Install(engine);
    ASSERT_TRUE(engine.EnsureSignedOn());
    ConsoleCommands commands(engine, input, output);
    GString line;
    while (ConsoleFrontEnd::ReadLine(input, line)) {
      if (commands.Execute(line.Text()) == ConsoleCommands::Outcome::kQuit) break;
    }
    EXPECT_FALSE(engine.HasCredential());
    EXPECT_TRUE(SignOnManager::SignOn(engine, profile.Text(), kNewPassword));
    EXPECT_FALSE(SignOnManager::ChangePassword(engine, kPassword, kNewPassword));
  }
  watching = false;
  std::fclose(input);
  std::fclose(output);
  EXPECT_EQ(0, leaks.load());
}

}  // namespace
