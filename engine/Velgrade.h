#pragma once

#include <cstdint>
#include <ctime>
#include <list>

#include "common/BinData.h"
#include "common/GString.h"
#include "engine/CredentialState.h"
#include "engine/Transaction.h"
#include "platform/CriticalSection.h"
#include "platform/Win32Types.h"
#include "platform/WinSock.h"

#include <netinet/in.h>

// Kinds of a message handed to the message callback.
constexpr int kMessageError = 0;
constexpr int kMessageWarning = 1;
constexpr int kMessageInformation = 2;

// Log categories: a line is written when any of its bits is in the log mask.
constexpr DWORD kLogSocketEvents = 0x01;
constexpr DWORD kLogSocketData = 0x02;
constexpr DWORD kLogHttpCommands = 0x04;
constexpr DWORD kLogHttpHeaders = 0x08;
constexpr DWORD kLogHttpData = 0x10;
constexpr DWORD kLogCredentials = 0x20;
constexpr DWORD kLogContexts = 0x40;
constexpr DWORD kLogTokens = 0x80;
// A line of this category is written whatever the mask says.
constexpr DWORD kLogAlways = 0xFFFFFFFF;

// The address meaning "none" (network order and host order alike).
constexpr uint32_t kNoAddress = 0xFFFFFFFF;

// The user-interface callbacks. Each receives the callback context given to
// the engine's constructor; any of them may be null.
using MessageCallback = void (*)(const char* text, void* context, int kind);
using LogCallback = void (*)(const char* line, void* context);
using LoginPromptCallback = bool (*)(GString& profile, GString& password, void* context);
using RequestCallback = void (*)(const char* requestLine, const char* header, const BinData& body,
                                 void* context);
using ConfirmSubmitCallback = bool (*)(void* context, int signedForm);
using ChoosePasswordCallback = bool (*)(const char* prompt, GString& password, void* context);
using ServerErrorCallback = void (*)(const GString& text, void* context);

struct EngineCallbacks {
  MessageCallback message = nullptr;
  LogCallback log = nullptr;
  LoginPromptCallback loginPrompt = nullptr;
  RequestCallback request = nullptr;
  ConfirmSubmitCallback confirmSubmit = nullptr;
  ChoosePasswordCallback choosePassword = nullptr;
  ServerErrorCallback serverError = nullptr;
};

// The work that the security-context layer hands to the engine's ten-second
// housekeeping and to sign-off. Each may be null.
struct HousekeepingHooks {
  // Removes security contexts unused for longer than age seconds; age 0
  // removes every one.
  void (*purgeStaleContexts)(int age) = nullptr;
  // True when no security context is open.
  bool (*isContextTableEmpty)() = nullptr;
  // Called by the engine's destructor once every context is gone: forgets
  // the engine and what was learnt about protected sites.
  void (*engineClosing)() = nullptr;
};

// The sign-on that the credentials layer hands to the layers below it, which
// call it through Velgrade::EnsureSignedOn. May be null.
struct CredentialHooks {
  // True when the user is signed on afterwards, asking for a log-in if needed.
  bool (*ensureSignedOn)(Velgrade& engine) = nullptr;
};

// The proxy engine: configuration from corvask.ini, the listening socket on
// 127.0.0.1, the list of live transactions and the upstream (chain) proxy.
// One object per process, created, driven and destroyed on one thread.
//
// The engine owns its listening socket, every Transaction in its list and the
// credential state (the session library's credential and the toolkit module).
// The callbacks and their context belong to the caller and must outlive it.
class Velgrade {
 public:
  // programDirectory ends with '/'; corvask.ini is read from it. Shows no
  // message except 2048 (a chain proxy host without a DNS entry).
  Velgrade(const char* programDirectory, const EngineCallbacks& callbacks, void* callbackContext);
  virtual ~Velgrade();

  Velgrade(const Velgrade&) = delete;
  Velgrade& operator=(const Velgrade&) = delete;

  // How accepted connections and internal requests become transactions.
  void SetTransactionFactory(const TransactionFactory& factory) { factory_ = factory; }
  const TransactionFactory& GetTransactionFactory() const { return factory_; }
  void SetHousekeepingHooks(const HousekeepingHooks& hooks) { hooks_ = hooks; }
  void SetCredentialHooks(const CredentialHooks& hooks) { credentialHooks_ = hooks; }

  // Opens the listening socket on 127.0.0.1 at the configured port. False
  // (after showing a message) when the configuration is unusable or the
  // socket cannot be opened; the program should then end.
  bool Start();

  // One select pass over the listening socket and every transaction: accepts
  // new connections and lets each transaction advance. wait 0 never blocks;
  // any other value waits up to 10 s for a socket to become ready. stop, when
  // given, is set to 1 when the engine refuses to go on after three wrong
  // passwords. False means the program must end.
  bool Poll(int wait, int* stop);

  // Like Poll, waiting at most timeoutMs for a socket to become ready.
  bool PollFor(int timeoutMs, int* stop);

  // The ten-second housekeeping: ages security contexts and signs an
  // inactive user off. Called by Poll.
  void Housekeep();

  // The machine's own IPv4 address as dotted text, empty when it cannot be
  // found (message 2051 is then shown). A found address is kept.
  GString GetOwnAddress();

  // How many transactions hold a security context and how many do not.
  void CountConnections(int& secure, int& plain);

  // Adds a transaction to the list; the engine takes ownership. Returns the
  // serial number by which it can be found again (0 for a null one).
  uint64_t AddTransaction(Transaction* transaction);
  // Takes a transaction out of the list and deletes it, if it is there.
  void RemoveTransaction(uint64_t serial);
  bool HasTransaction(uint64_t serial);
  // Deletes every transaction except keep (which may be null).
  void DeleteTransactionsExcept(Transaction* keep);
  // Deletes every transaction holding a security context except keep.
  void DeleteSecureTransactionsExcept(Transaction* keep);
  size_t GetTransactionCount();

  // Log and messages.
  void Log(DWORD category, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void ShowMessage(UINT id, ...);
  void ShowWarning(UINT id, ...);
  // String-table message id formatted with the arguments; a missing message
  // gives "*** Error loading message number <id>".
  static GString LoadMessage(UINT id, ...);
  static GString GetSocketErrorText(int code);
  static GString GetGssStatusText(DWORD major, DWORD minor);
  static const char* TokenTypeName(int type);
  // True when lines of this category are written (callers test it before
  // building a costly argument).
  bool IsLogged(DWORD category) const { return (logMask_ & category) != 0 && callbacks_.log != nullptr; }

  // The upstream proxy.
  void SetChainProxy(const char* host, int port);
  bool GetChainProxy(sockaddr_in* address) const;
  bool FetchChainProxyFrom(const char* url);
  static void OnChainProxyReply(const GString& head, const BinData& body, void* engine);

  // Used by the transactions.
  bool ConfirmSubmission(int signedForm);
  // The cipher the user's profile asks for (section "options", key
  // "EncryptWith", default "CAST128"), read once from the profile signed on
  // with. Without a known profile it shows message 2142 and gives the
  // default, reading again next time.
  GString GetEncryptAlgorithm();
  // True when name is acceptable as a server proxy's distinguished name: it
  // holds message 2125 ("cn=Server"; "cn=S" when the message lacks that)
  // with letter case counting, within its first component.
  static bool CheckServerDN(const GString& name);
  // True when the configured signing key is DSA (else RSA).
  bool IsDsaSigningKey() const { return signatureSize_ == kDsaSignatureSize; }
  void ShowServerError(const GString& text);
  void NotifyRequest(const char* requestLine, const char* header, const BinData& body);

  // Configuration as read by the constructor.
  uint16_t GetListenPort() const { return listenPort_; }
  winsock::SOCKET GetListenSocket() const { return listenSocket_; }
  int GetContextTimeout() const { return contextTimeout_; }
  int GetInactivityTimeout() const { return inactivityTimeout_; }
  int IsFinancialEdition() const { return financialEdition_; }
  int IsConfigurationPresent() const { return configurationPresent_; }
  int IsSingleLogin() const { return singleLogin_; }
  int GetSignatureSize() const { return signatureSize_; }
  int GetNoDelaySockets() const { return noDelaySockets_; }
  int GetNonBlockingSockets() const { return nonBlockingSockets_; }
  int GetAllowAutoProxy() const { return allowAutoProxy_; }
  int GetFetchChainProxy() const { return fetchChainProxy_; }
  int GetSepByProxy() const { return sepByProxy_; }
  DWORD GetLogMask() const { return logMask_; }
  const GString& GetProductVersion() const { return productVersion_; }
  const GString& GetConfigFile() const { return configFile_; }
  const GString& GetRegistrationCommand() const { return registrationCommand_; }
  const GString& GetProfileCreationCommand() const { return profileCreationCommand_; }
  void* GetCallbackContext() const { return callbackContext_; }
  const EngineCallbacks& GetCallbacks() const { return callbacks_; }

  // The credential life. The sign-on operations themselves belong to the
  // credentials layer (credentials/SignOn.h); the engine keeps their state.

  // Signs on when needed through the installed credential hooks; false when
  // none are installed or the sign-on fails.
  bool EnsureSignedOn();
  // Signs the user off: deletes every transaction holding a security context
  // except keep (every transaction at all when shutdown is non-zero), removes
  // every security context, releases the credential and ends the toolkit's
  // log-in.
  void SignOff(int shutdown, Transaction* keep);
  // The credential for a new security context; marks the user active now.
  gss_cred_id_t& TouchCredential();
  bool HasCredential() const { return credential_.credential != GSS_C_NO_CREDENTIAL; }
  CredentialState& GetCredentialState() { return credential_; }
  const CredentialState& GetCredentialState() const { return credential_; }
  int GetWrongPasswordCount() const { return wrongPasswordCount_; }
  void SetWrongPasswordCount(int count) { wrongPasswordCount_ = count; }
  time_t GetLastActivity() const { return lastActivity_; }
  void SetLastActivity(time_t when) { lastActivity_ = when; }
  // Tests and the settings dialog change the inactivity time-out at once.
  void SetInactivityTimeout(int seconds) { inactivityTimeout_ = seconds; }

 private:
  struct Entry {
    Transaction* transaction;
    uint64_t serial;
  };

  void ReadConfiguration();
  void HandConfigurationToSession();
  void ReadProductVersion();
  void WriteLine(bool isLog, int kind, const char* format, va_list args);
  void ShowMessageV(UINT id, int kind, va_list args);
  bool OpenListeningSocket();
  void CollectSockets(winsock::SOCKET& largest, winsock::FdSet& read, winsock::FdSet& write,
                      winsock::FdSet& except);
  void ServiceTransactions(const winsock::FdSet& read, const winsock::FdSet& write,
                           const winsock::FdSet& except);
  bool AcceptConnection();
  bool FindEntry(uint64_t serial, Transaction*& transaction);
  void RemoveEntry(uint64_t serial);
  void ClearChainProxy();
  void ReleaseCredential();
  void FreeToolkit();

  int sepByProxy_ = 0;
  int noDelaySockets_ = 0;
  int nonBlockingSockets_ = 1;
  int financialEdition_ = 0;
  int configurationPresent_ = 0;
  int allowAutoProxy_ = 1;
  int fetchChainProxy_ = 0;
  int chainReplyReceived_ = 0;
  int chainReplyUsable_ = 0;
  sockaddr_in chainProxy_{};
  int contextTimeout_ = 480;
  time_t lastActivity_ = 0;
  int inactivityTimeout_ = 900;
  GString productVersion_;
  GString programDirectory_;
  GString configFile_;
  time_t lastHousekeeping_ = 0;
  uint16_t listenPort_ = 8080;
  winsock::SOCKET listenSocket_ = winsock::INVALID_SOCKET;
  DWORD logMask_ = 0xE7;
  GString ownAddressText_;
  uint32_t ownAddress_ = kNoAddress;
  int wrongPasswordCount_ = 0;
  CredentialState credential_;
  std::list<Entry> connections_;
  uint64_t nextSerial_ = 1;
  CriticalSection connectionLock_;
  GString registrationCommand_;
  GString profileCreationCommand_;
  EngineCallbacks callbacks_;
  void* callbackContext_ = nullptr;
  int singleLogin_ = 1;
  int signatureSize_ = 64;
  static constexpr int kDsaSignatureSize = 48;
  GString encryptAlgorithm_;
  // The longest time FetchChainProxyFrom waits for the reply, in seconds.
  static constexpr int kChainFetchLimit = 120;
  TransactionFactory factory_;
  HousekeepingHooks hooks_;
  CredentialHooks credentialHooks_;
};
