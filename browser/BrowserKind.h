#pragma once

// The browser families the program can switch over to its proxy. The numbers
// are stored in the backup file and never change.
enum class BrowserKind : int {
  Unknown = -1,
  Communicator = 0,       // Netscape 4 below 4.50: profiles in the registry
  Navigator = 1,          // Netscape below 4
  InternetExplorer = 2,   // Internet Explorer 3 and 4
  Communicator45 = 3,     // Netscape 4.50 and later: profiles in nsreg.dat
  InternetExplorer5 = 4,  // Internet Explorer 5
};
