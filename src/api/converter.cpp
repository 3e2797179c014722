// The library interface: a Converter owns the application object and the
// conversion state of one conversion and forwards each step to them. The
// caller's handlers are reached through the application object's two
// callbacks, whose user values point back to the converter's state.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/custom_args.h"
#include "app/messages.h"
#include "dat/conv_state.h"
#include "logsplit/logsplit.h"

// The public codes are the program's own.
static_assert(logsplit::status::kOk == status::kOk);
static_assert(logsplit::status::kInsufficientMemory == status::kNoMemory);
static_assert(logsplit::status::kNotOpened == status::kNotOpened);
static_assert(logsplit::status::kDatOpenFailed == status::kDatOpen);
static_assert(logsplit::status::kDatNotOpen == status::kDatNotOpen);
static_assert(logsplit::status::kEphOpenFailed == status::kEphOpen);
static_assert(logsplit::status::kEphNotOpen == status::kEphNotOpen);
static_assert(logsplit::status::kIonOpenFailed == status::kIonOpen);
static_assert(logsplit::status::kIonNotOpen == status::kIonNotOpen);
static_assert(logsplit::status::kMesOpenFailed == status::kMesOpen);
static_assert(logsplit::status::kMesNotOpen == status::kMesNotOpen);
static_assert(logsplit::status::kStxNotFound == status::kNoStx);
static_assert(logsplit::status::kEtxNotFound == status::kNoEtx);
static_assert(logsplit::status::kBadChecksum == status::kBadChecksum);
static_assert(logsplit::status::kUnexpectedLogst == status::kUnexpectedLogst);
static_assert(logsplit::status::kDiskFull == status::kDiskFull);
static_assert(logsplit::status::kHeaderRecordsNotFound == status::kNoHeaderRecords);
static_assert(logsplit::status::kSourceNotFound == status::kInputOpen);
static_assert(logsplit::status::kBadHeader == status::kBadHeader);
static_assert(logsplit::status::kOutOfSequence == status::kOutOfSequence);
static_assert(logsplit::status::kSummaryOpenFailed == status::kSummaryOpen);
static_assert(logsplit::status::kSummaryNotOpen == status::kSummaryNotOpen);
static_assert(logsplit::status::kResyncFailed == status::kNoResync);
static_assert(logsplit::status::kAppOpenFailed == status::kAppOpen);
static_assert(logsplit::status::kAppNotOpen == status::kAppNotOpen);
static_assert(logsplit::status::kAppInvalid == status::kAppInvalid);
static_assert(logsplit::status::kAppNoInformation == status::kAppNoInfo);
static_assert(logsplit::status::kCancelled == status::kCancelled);
static_assert(logsplit::status::kErrorsIgnored == status::kWarnings);
static_assert(logsplit::status::kExpansionFailed == status::kExpansion);
static_assert(logsplit::status::kK02Unsupported == status::kK02Unsupported);

namespace logsplit {

struct Converter::Impl {
  Impl();

  // The application object's callbacks; the user values point to the Impl.
  static void OnMessage(int32_t level, const char* text, void* user);
  static uint16_t OnProgress(uint8_t* cancel, uint16_t percent, uintptr_t userA, uintptr_t userB);

  Status Record(Status st) {
    lastStatus = st;
    return st;
  }

  Application app;
  ConvState cs;
  MessageHandler messageHandler;
  ProgressHandler progressHandler;
  std::atomic<bool> cancelRequested{false};
  std::string customArgsRoot;
  Status lastStatus = ::status::kOk;
  bool namesResolved = false;
  bool ran = false;
};

void Converter::Impl::OnMessage(int32_t level, const char* text, void* user) {
  auto* impl = static_cast<Impl*>(user);
  if (impl == nullptr || !impl->messageHandler) return;
  try {
    impl->messageHandler(static_cast<int>(level), std::string_view(text != nullptr ? text : ""));
  } catch (...) {
    // An exception cannot cross the conversion: it would leave the outputs
    // open and unfinished. Stop the run instead; it then ends cancelled.
    impl->cancelRequested.store(true);
  }
}

uint16_t Converter::Impl::OnProgress(uint8_t* cancel, uint16_t percent, uintptr_t userA,
                                     uintptr_t /*userB*/) {
  auto* impl = reinterpret_cast<Impl*>(userA);
  if (impl == nullptr) return percent;
  bool stop = impl->cancelRequested.load();
  if (impl->progressHandler) {
    bool handlerStop = stop;
    try {
      impl->progressHandler(static_cast<int>(percent), handlerStop);
    } catch (...) {
      handlerStop = true;
    }
    stop = stop || handlerStop || impl->cancelRequested.load();
  }
  if (stop && cancel != nullptr) *cancel = 1;
  return percent;
}

Converter::Impl::Impl() {
  // The program's console: each line printed with a line feed on standard
  // output, exactly as the default callback does.
  app.SetMessageCallback(DefaultMessageCallback, nullptr);
  app.SetProgressCallback(OnProgress, reinterpret_cast<uintptr_t>(this), 0);
}

Converter::Converter() : impl_(new (std::nothrow) Impl()) {}
Converter::~Converter() = default;
Converter::Converter(Converter&& other) noexcept = default;
Converter& Converter::operator=(Converter&& other) noexcept = default;

bool Converter::IsReady() const { return impl_ != nullptr; }

void Converter::SetMessageHandler(MessageHandler handler) {
  if (!impl_) return;
  impl_->messageHandler = std::move(handler);
  if (impl_->messageHandler)
    impl_->app.SetMessageCallback(Impl::OnMessage, impl_.get());
  else
    impl_->app.SetMessageCallback(nullptr, nullptr);
}

void Converter::UseConsoleMessages() {
  if (!impl_) return;
  impl_->messageHandler = nullptr;
  impl_->app.SetMessageCallback(DefaultMessageCallback, nullptr);
}

void Converter::SetProgressHandler(ProgressHandler handler) {
  if (impl_) impl_->progressHandler = std::move(handler);
}

void Converter::RequestCancel() {
  if (impl_) impl_->cancelRequested.store(true);
}

Status Converter::ParseArguments(int argc, const char* const* argv) {
  if (!impl_) return ::status::kNoMemory;
  if (impl_->app.usagePrinted) return impl_->Record(::status::kOk);
  if (argc < 1 || argv == nullptr) return impl_->Record(::status::kOk);
  return impl_->Record(impl_->app.ParseArguments(argc, argv, true));
}

Status Converter::ParseArguments(const std::vector<std::string>& args) {
  if (!impl_) return ::status::kNoMemory;
  std::vector<const char*> argv;
  argv.reserve(args.size() + 1);
  argv.push_back("");
  for (const std::string& a : args) argv.push_back(a.c_str());
  return ParseArguments(static_cast<int>(argv.size()), argv.data());
}

Status Converter::ApplyCustomArguments() {
  if (!impl_) return ::status::kNoMemory;
  if (impl_->app.usagePrinted) return impl_->Record(::status::kOk);
  return impl_->Record(impl_->app.ApplyRegistryArguments());
}

void Converter::SetCustomArgumentsRoot(const std::string& root) {
  if (!impl_) return;
  impl_->customArgsRoot = root;
  impl_->app.customArgsRoot = impl_->customArgsRoot.empty() ? nullptr : impl_->customArgsRoot.c_str();
}

std::string Converter::CustomArgumentsPath() const {
  return CustomArgsPath(impl_ ? impl_->app.customArgsRoot : nullptr);
}

Status Converter::ResolveNames() {
  if (!impl_) return ::status::kNoMemory;
  // The names are derived once: a second derivation would start from the
  // output name the first one left.
  if (impl_->app.usagePrinted || impl_->namesResolved) return impl_->Record(::status::kOk);
  const Status st = impl_->app.ResolveOutputName();
  impl_->namesResolved = st == ::status::kOk;
  return impl_->Record(st);
}

Status Converter::Run() {
  if (!impl_) return ::status::kNoMemory;
  if (impl_->app.usagePrinted) return impl_->Record(::status::kOk);
  // The conversion state keeps what one run wrote; it cannot serve another.
  if (impl_->ran) return impl_->Record(::status::kNotOpened);
  if (!impl_->namesResolved) {
    const Status st = ResolveNames();
    if (st != ::status::kOk) return st;
  }
  impl_->ran = true;
  return impl_->Record(impl_->app.RunConversion(impl_->cs));
}

Status Converter::Execute(int argc, const char* const* argv) {
  if (!impl_) return ::status::kNoMemory;
  if (argc < 2) {
    PrintUsage(false);
    return impl_->Record(::status::kOk);
  }
  Status st = ParseArguments(argc, argv);
  if (st == ::status::kOk) st = ApplyCustomArguments();
  if (st == ::status::kOk) st = ResolveNames();
  if (st == ::status::kOk) st = Run();
  return st;
}

Status Converter::LastStatus() const { return impl_ ? impl_->lastStatus : ::status::kNoMemory; }

std::string Converter::LastStatusText() const { return StatusText(LastStatus()); }

std::string Converter::StatusText(Status code) {
  char text[kNameSize];
  ::StatusText(code, text, sizeof text);
  return text;
}

bool Converter::UsagePrinted() const { return impl_ && impl_->app.usagePrinted; }

std::vector<std::string> Converter::InputNames() const {
  std::vector<std::string> names;
  if (!impl_) return names;
  for (int i = 0; i < kMaxInputs && impl_->app.inputNames[i][0] != '\0'; ++i)
    names.emplace_back(impl_->app.inputNames[i], strnlen(impl_->app.inputNames[i], kInputNameSize));
  return names;
}

std::string Converter::OutputBaseName() const {
  if (!impl_) return {};
  const Application& app = impl_->app;
  const size_t length = strnlen(app.outputBase, sizeof app.outputBase);
  const char* ext = app.extensionPos;
  if (ext != nullptr && ext >= app.outputBase && ext <= app.outputBase + length)
    return std::string(app.outputBase, static_cast<size_t>(ext - app.outputBase));
  return std::string(app.outputBase, length);
}

std::uint32_t Converter::RecordCount() const { return impl_ ? impl_->app.recordCount : 0; }
std::uint32_t Converter::ChecksumErrorCount() const { return impl_ ? impl_->app.checksumErrors : 0; }
std::uint32_t Converter::LostByteCount() const { return impl_ ? impl_->app.lostBytes : 0; }

void Converter::PrintUsage(bool extended) { Application::PrintUsage(extended); }

const char* Converter::VersionText() { return kProgramVersionText; }

}  // namespace logsplit
