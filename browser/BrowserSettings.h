#pragma once

#include <cstdint>

#include "browser/BrowserKind.h"
#include "common/BinData.h"
#include "common/GString.h"

// A started browser process; 0 means none.
using BrowserProcess = intptr_t;

// What the program needs of one installed browser family: save its proxy and
// form-warning settings into a saved-settings record, point it at the local
// proxy, put the saved settings back, answer questions about a record, and
// start it.
//
// A record is a BinData whose length and layout belong to the concrete class;
// every operation that takes one checks its length first and fails on a
// mismatch. The caller owns records; a settings object never keeps one.
// Settings objects hold no open registry keys or files between calls.
//
// The base class answers every question with its default (false, -1, 0).
class BrowserSettings {
 public:
  BrowserSettings() = default;
  BrowserSettings(const BrowserSettings&) = delete;
  BrowserSettings& operator=(const BrowserSettings&) = delete;
  virtual ~BrowserSettings() = default;

  // The run-time class name ("NavigatorSettings", ...).
  virtual const char* GetRuntimeClassName() const { return "BrowserSettings"; }

  // The command line that opens the browser: the browser hint when one was
  // given (and is not "default" in quotes), else the class's command key.
  virtual bool GetBrowserCommand(GString& command) { return false; }
  // The proxy the browser used before, from record: HTTP proxy host and port,
  // or its automatic-configuration URL. Outputs are cleared first.
  virtual bool GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) {
    return false;
  }
  // Whether the browser warned before sending a form to an unprotected site.
  virtual bool GetSavedFormWarning(const BinData& record, int& warn) { return false; }
  // Reads the browser's current settings into record (resized to the
  // class's length).
  virtual bool SaveSettings(BinData& record) { return false; }
  virtual BrowserKind GetBrowserKind() { return BrowserKind::Unknown; }
  // -1 wrong record length, 0 no HTTP proxy, 1 manual HTTP proxy, 2
  // automatic configuration (Netscape classes may return other stored types).
  virtual int GetSavedProxyMode(const BinData& record) { return -1; }
  // Starts the browser on url; the browser start-up code supplies this.
  virtual BrowserProcess LaunchBrowser(const char* url, int noSpawn) { return 0; }
  // Writes record back into the browser's configuration.
  virtual bool RestoreSettings(const BinData& record) { return false; }
  // True when the settings are to be restored as soon as the browser exits.
  virtual bool RestoreAfterBrowserExit() { return false; }
  virtual bool IsNetscapeFamily() { return false; }
  // Changes the form-warning value kept in record.
  virtual bool SetSavedFormWarning(BinData& record, int warn) { return false; }
  // Points the browser's HTTP proxy at host:port and turns its own warning on
  // unprotected form submission off. With keepAutoConfiguration nonzero and a
  // record whose mode is 2, only the warning is turned off.
  virtual bool PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                                   const BinData& record) {
    return false;
  }

  // The process-wide browser hint (the -browser= option): at most
  // kBrowserHintLimit characters, empty at start.
  static constexpr int kBrowserHintLimit = 260;
  static void SetBrowserHint(const char* hint);
  static const char* GetBrowserHint();

 protected:
  // GetBrowserCommand for a class whose command lives in the unnamed value
  // of commandKey below HKEY_CLASSES_ROOT.
  bool GetBrowserCommandFromKey(const char* commandKey, GString& command);
};
