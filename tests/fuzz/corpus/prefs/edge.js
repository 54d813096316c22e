user_pref("network.proxy.http_port", 8080);
// user_pref("network.proxy.http", "x");
user_pref("network.proxy.http", "unterminated);
