#include "browser/BrowserMessages.h"

#include "platform/ResourceStrings.h"

GString LoadBrowserMessage(UINT id) {
  GString text;
  if (LoadResourceText(text, id) && !text.IsEmpty()) return text;
  switch (id) {
    case kMessageCloseBrowser:
      return "Velgrade needs to close your browser and modify its settings.  Click 'OK' to have this "
             "done for you or click 'Cancel' to exit your Velgrade session. The new settings will take "
             "effect the next time your browser is started.";
    case kMessageRestoreFailed:
      return "Velgrade failed to restore the browser's settings. Please see the online help.";
    default:
      return text;
  }
}
