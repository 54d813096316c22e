#include "resources/StringTable.h"

// Sorted by id; each text exactly as shown or sent. A text that begins with a
// backslash, a number and a backslash continues with the string of that number.
const StringEntry kStringTable[] = {
    {104, "Windows sockets initialization failed."},
    {105,
     "You are currently not logged into Velgrade.  Please click on the File Option on "
     "your Main Menu bar, and select Log In.  If you do not have a digital certificate, "
     "select Add New User Profile to set up your digital certificate with the "
     "Authorization Code and Reference Number provided by Marlowen."},
    {106, "Select your Velgrade profile"},
    {107, "Please enter at least %1 characters in the Current Password field."},
    {108, "The passwords you typed did not match. Type the same password in both fields."},
    {110, "Your Velgrade password has been changed."},
    {111, "Select the directory to which you wish to copy your Velgrade profile."},
    {112, "Velgrade registration completed successfully."},
    {113, "No version information for %1.\n"},
    {114, "Security Profiles (*.epf)|*.epf||"},
    {115,
     "The profile for user %1\nalready exists in the directory\n%2\n\nDo you want to "
     "overwrite the existing profile?"},
    {116, "Unable to delete the file\n%1"},
    {117, "%m/%d/%Y %H:%M:%S\n"},
    {118,
     "Velgrade registration failed.\n\nPlease contact a customer service representative "
     "for assistance."},
    {119,
     "User initialization/recovery in progress..\nIf you are creating a profile on a "
     "cryptographic hardware device this process may take several minutes."},
    {120, "Settings updated!\n\nThe changes will take effect the\nnext time you start Velgrade."},
    {121, "Logging in. Please wait - this may take a few seconds..."},
    {122, "Password too short."},
    {123, "The new password contains too many instances of one character."},
    {124, "The new password must contain a lower case character."},
    {125, "The new password must contain an upper case character."},
    {126, "The password cannot be the same as the user name."},
    {127, "The new password cannot contain a substring of the user name."},
    {129, "The new password cannot be the same as the old password."},
    {130,
     "%1 is logged in.\n\nVelgrade is now active. It will ensure the privacy, integrity "
     "and authenticity of all data and personal information transmitted between your "
     "computer and Velgrade protected Web sites.\n\n"},
    {132,
     "Passwords must:\n\n- be at least 8 characters\n- contain a lowercase character\n- "
     "contain an uppercase character or a number\n- not repeat any character more than "
     "(length/2) times\n- not contain a (length/2) substring of your profile name"},
    {135, "Starting your Web browser application. Please wait..."},
    {136,
     "Unable to start your Web browser. Please check that you have a Web browser "
     "installed and that it is configured correctly, then re-start Velgrade."},
    {137, "Velgrade"},
    {139, "Velgrade Active"},
    {140, "Please enter exactly %1 digits in the Temporary Password field."},
    {141,
     "You have not installed a Web browser that Velgrade recognizes. Supported browsers "
     "are Netscape Navigator 3 or higher, Netscape Communicator 4 or higher, and Internet "
     "Explorer 3 or higher."},
    {142,
     "Velgrade was unable to update your browser's configuration automatically. You may "
     "need to manually change your browser's settings for Velgrade to work properly."},
    {143,
     "The Web browser started by Velgrade is still running.\n\nIf you have finished using "
     "Velgrade, please exit your Web browser.\n\nVelgrade will exit automatically once "
     "the browser terminates."},
    {144,
     "The Corvask icons in your Windows Taskbar and within this panel rotate to confirm "
     "that your information is secure whenever your browser is exchanging data directly "
     "with the Velgrade protected Web site."},
    {145,
     "The Corvask icon rotates to confirm that your information is secure whenever your "
     "browser is exchanging data directly with  the Velgrade protected Web site."},
    {146, "You have logged out of Velgrade and your Velgrade session has been terminated."},
    {147, "Main"},
    {148,
     "\n\nPlease consult the on-line help or contact your system administrator if you "
     "require assistance."},
    {149,
     "You have entered your password incorrectly.\n\nIf you have forgotten your password, "
     "please contact your system administrator."},
    {150, "Please enter exactly %1 digits in the Card Number field."},
    {151, "Please enter between %1 and %2 characters in the Username field."},
    {152,
     "\n\nTo try again, please exit your Web browser and restart Velgrade. In some cases "
     "you will have to click Stop in the Web browser before you can exit it."},
    {153, "Please enter %1 digits in custom field #2."},
    {154, "Please enter %1 digits in custom field #3."},
    {160, "Enter your 8 digit reference number."},
    {161, "Enter your authorization code."},
    {162, "Please enter at least %1 characters in the Password field."},
    {1000, "Type the new password for your security profile."},
    {1002, "Type the password of your security profile."},
    {1007, "Type the 8-digit temporary password you received."},
    {1008, "Type the 16-digit number of your card."},
    {1009, "Type the value of custom field #2."},
    {1010, "Type the value of custom field #3."},
    {1012, "Type the new password again to confirm it."},
    {1021, "Type a name for your security profile."},
    {1022, "Type the folder in which your security profile will be stored."},
    {1026, "Select the security profile you want to use."},
    {1028, "Look for a security profile file."},
    {1069, "Type the 8-digit reference number you received."},
    {1070, "Type the authorization code you received."},
    {1071, "Choose the folder in which your security profile will be stored."},
    {1098, "Store your security profile on a hardware token (card) instead of a file."},
    {2048,
     "The specified remote proxy/host\n\n%s\n\ndoes not have a DNS entry.\nOperating with "
     "no remote proxy."},
    {2049, "You must be logged in to change your Corvask password."},
    {2050, "Cannot change your Corvask password.\n\n%s"},
    {2051,
     "Unable to determine the IP address of this machine.\nPlease ensure that your "
     "Internet connection is working properly.\nIf you use dial-up networking you may "
     "need to re-dial your Internet service provider."},
    {2052, "Socket error on listen socket."},
    {2053, "Socket error %s on accept call"},
    {2054, "Error allocating internal data."},
    {2055, "Error generating cryptographic information."},
    {2057, "Cannot initialize Corvask.\n\ncvs_set_inifile() error."},
    {2058, "Cannot initialize Corvask.\n\n%s"},
    {2059, "The file %s\nis missing or unreadable."},
    {2062, "A registration URL was not specified in the configuration file."},
    {2063, "Error %s initializing socket.\n\nVelgrade may already be running"},
    {2064,
     "Registration error: check the information you entered and try again. If the problem "
     "persists please contact your system administrator for assistance.<p>Error number: "
     "%lX/%lX (%s)"},
    {2065, "Unable to decrypt the data returned by the server."},
    {2066, "The server returned incorrectly formatted data."},
    {2067, "Invalid password."},
    {2068, "Couldn't determine the destination URL."},
    {2069, "Couldn't determine the destination host name."},
    {2070, "Illegal HTTP header received."},
    {2071, "Error creating the remote HTTP command."},
    {2072, "Invalid Corvask name <I>%s</I> supplied by remote system."},
    {2073, "Error initializing Corvask/Session context.<br>\n%s"},
    {2074, "Client error creating Corvask/Session context."},
    {2075, "Received security token did not use proper security facilities."},
    {2076,
     "\\2077\\<html><head><title>Browser Error</title></head>\n<body bgcolor=\"#ffffff\" "
     "text=\"#000000\"><h1>Browser Error</h1>\nThe Velgrade %s proxy on %s:%d was unable "
     "to process the request:<p>"},
    {2077,
     "<blockquote><b><hr size=4><pre>\n%s%s</pre><hr size=4></b></blockquote><p>\nReason: "
     "%s\n</body></html>"},
    {2078,
     "Unable to locate the server: %s<P>The server does not have a DNS entry.<P>Check "
     "that the site name in the location field is correctly spelled and try again."},
    {2079, "Internal error attempting to connect to remote system."},
    {2080, "The requested item could not be loaded due to a network error.<P>"},
    {2081, "Unexpected security token type received."},
    {2082, "Error connecting to remote system."},
    {2086, "Empty security data received."},
    {2087, "Security context mismatch."},
    {2088, "Unrecognized or unexpected security data type received."},
    {2091,
     "\\2092\\<html><head><title>Security Error</title></head>\n<body bgcolor=\"#ffffff\" "
     "text=\"#000000\"><h1>Security Error</h1><blockquote><b><hr size=4>\n"},
    {2092,
     "The Velgrade %s at %s:%d detected a security problem while processing a "
     "request:<p>\n%s\n<hr size=4></b></blockquote></body></html>"},
    {2093,
     "\\2094\\<html><head><title>Error</title></head><body>\n<noscript>\n<B>%s</B>\n<hr "
     "size=4>\n<font size=-2>Error from %s proxy on %s:%d</font>\n"},
    {2094,
     "</noscript>\n<SCRIPT LANGUAGE=\"JavaScript\">\n<!-- Begin to hide script contents "
     "from old browsers.\n\talert(\"%s\")\n// End the hiding here. -->\n</SCRIPT>\n"
     "</body></html>"},
    {2096, "client"},
    {2098, "Socket error %s"},
    {2099, "Error %s setting no-delay mode."},
    {2100, "Error %s putting socket in non-blocking mode."},
    {2101, "Error %s connecting to remote server."},
    {2102, "Error %s creating socket for connection to server."},
    {2103, "Connection closed by remote system."},
    {2104, "Error %s reading data from host <%s>."},
    {2105, "Error %s writing to remote host."},
    {2106, "Received security token contains no data."},
    {2107, "Target name not initialized."},
    {2108, "Incompatible Velgrade version used."},
    {2109, "Received security token contains corrupted data."},
    {2110, "Unable to allocate memory for contents of received security token."},
    {2111, "Error allocating memory for output security token."},
    {2112, "Please enter an integer between %s and %s."},
    {2113, "Please enter an integer between %s and %s."},
    {2114, "HTTP/1.0 500 Error from Velgrade proxy\r\n"},
    {2115, "5"},
    {2116, "15"},
    {2117, "1"},
    {2118, "65535"},
    {2119, "HTTP/1.0 302 Velgrade Required\r\n"},
    {2120, "HTTP/1.0 500 Velgrade Security Error\r\n"},
    {2123, "HTTP/1.0 400 Bad Request\r\n"},
    {2124,
     "Velgrade needs to close your browser and modify its settings.  Click 'OK' to have "
     "this done for you or click 'Cancel' to exit your Velgrade session. The new settings "
     "will take effect the next time your browser is started."},
    {2125, "cn=Server"},
    {2126,
     "Velgrade cannot backup your browser's settings to a file. You will have to manually "
     "restore your browser's settings. Please check your disk space and file permissions."},
    {2127, "0"},
    {2129, "Velgrade failed to restore the browser's settings. Please see the online help."},
    {2130, "Successfully generated the log file: \n %s"},
    {2132, "Cannot open log file."},
    {2133,
     "Velgrade cannot find the token. Please insert one and click OK. Or click Cancel to "
     "use Velgrade without a token."},
    {2134,
     "Velgrade cannot find a profile on the token. Please replace one and click OK. Or "
     "click Cancel to use Velgrade without a token."},
    {2135, "The public directory  is unavailable."},
    {2136,
     "There was a problem in retrieving the Velgrade intermediate proxy settings from\n\n"
     "%s\n\nAttempting to continue without an intermediate proxy."},
    {2137,
     "There was a problem with the automatic proxy configuration URL:\n\n%s\n\nAttempting "
     "to continue without an intermediate proxy."},
    {2138,
     "Velgrade could not create the profile. Check the information you entered and try "
     "again.\nError number: %lX/%lX (%s)"},
    {2139, "Inactivity &timeout (%d-%d minutes):"},
    {2140, "Create New Corvask Profile"},
    {2141, "Recover Corvask Profile"},
    {2142, "Cannot get last profile path, please log in first."},
    {2143, "Error signing data. (%s)"},
    {2145, "Login failed: cannot initialize or restore secure session."},
    {2146,
     "Velgrade cannot launch the expected browser on your computer. The browser is either "
     "not installed or is installed in an unexpected location. If the browser is "
     "installed,  you may  be able  to launch it manually. Please contact your system "
     "administrator if you need assistance."},
    {2147, "The configuration file (%1) must not be read-only."},
    {2148, "The profile location %1 doesn't exist. Do you want to create it?"},
    {2149, "The directory name cannot contain any of the following characters:\n\t\t\\/:*?\"<>|"},
    {2150, "Please select profile location."},
    {2154,
     "Velgrade has detected that you are in single login mode. Please change your "
     "password through the Corvask icon in the Windows tray."},
    {2155,
     "Your Velgrade profile (%s) has been modified. If you have made copies of this "
     "profile please update them."},
    {2156,
     "Velgrade has detected that you are in single login mode. Please log out through the "
     "Corvask icon in the Windows tray."},
    {2157,
     "Velgrade ensures the privacy, integrity, and authenticity of all data transmitted "
     "between your browser and Velgrade-protected Web sites. You can log in to or out of "
     "Velgrade by right-clicking the Corvask icon in the Windows tray and selecting the "
     "appropriate option.\n\nThe Velgrade icons in your Windows tray and in this panel "
     "rotate to confirm that the data exchanged by your browser and the "
     "Velgrade-protected Web site is secure.\n\n\n\n"},
    {10004, "Interrupted function call"},
    {10009, "File handle is not valid"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Resource temporarily unavailable"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on nonsocket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Cannot assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Cannot send after socket shutdown"},
    {10059, "Too many references"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Cannot translate name"},
    {10063, "Name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "User quota exceeded"},
    {10069, "Disk quota exceeded"},
    {10070, "Stale file handle reference"},
    {10071, "Item is remote"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Winsock.dll version out of range"},
    {10093, "Successful WSAStartup not yet performed"},
    {10101, "Graceful shutdown in progress"},
    {11001, "Host not found"},
    {11002, "Nonauthoritative host not found"},
    {11003, "This is a nonrecoverable error"},
    {11004, "Valid name, no data record of requested type"},
    {57344, "Velgrade"},
};

const size_t kStringTableSize = sizeof(kStringTable) / sizeof(kStringTable[0]);
