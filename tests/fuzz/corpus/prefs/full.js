// Mozilla User Preferences
user_pref("browser.startup.homepage", "http://home.example/");
user_pref("network.proxy.type", 1);
user_pref("network.proxy.http", "gate.example");
user_pref("network.proxy.http_port", 8000);
user_pref("network.proxy.ftp", "ftpgate");
user_pref("network.proxy.gopher", "gophergate");
user_pref("network.proxy.ssl", "sslgate");
user_pref("network.proxy.wais", "waisgate");
user_pref("network.proxy.autoconfig_url", "http://config.example/proxy.pac");
user_pref("security.warn_submit_insecure", FALSE);
