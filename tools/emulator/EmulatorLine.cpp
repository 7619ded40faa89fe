#include "emulator/EmulatorLine.h"

#include "link/DevicePair.h"

namespace {
// The pump re-checks at least this often, so a missed wake-up costs little.
constexpr auto kPumpIdle = std::chrono::milliseconds(50);
}  // namespace

EmulatorLine::EmulatorLine(DevicePair& pair, WriterEmulator& emulator)
    : pair_(pair), emulator_(emulator) {
  emulator_.SetOutput([this](std::span<const std::uint8_t> bytes) { pair_.SendToPc(bytes); });
  emulator_.SetCtsCallback([this](bool on) { pair_.SetCts(on); });
  pair_.SetCts(emulator_.Cts());
  pair_.SetReceiver([this](std::span<const std::uint8_t> bytes) {
    emulator_.Receive(bytes);
    Poke();
  });
  pump_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

EmulatorLine::~EmulatorLine() {
  pair_.SetReceiver([](std::span<const std::uint8_t>) {});
  pump_.request_stop();
  wake_.notify_all();
  pump_.join();
  emulator_.SetOutput(nullptr);
  emulator_.SetCtsCallback(nullptr);
}

void EmulatorLine::Poke() {
  {
    std::lock_guard lock(mutex_);
    poked_ = true;
  }
  wake_.notify_all();
}

void EmulatorLine::Run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    const auto next = emulator_.NextEventIn();
    const auto wait = next ? std::min<Clock::Duration>(*next, kPumpIdle) : kPumpIdle;
    wake_.wait_for(lock, stop, wait, [this] { return poked_; });
    poked_ = false;
    lock.unlock();
    emulator_.Pump();
    lock.lock();
  }
}

std::unique_ptr<EmulatorLine> AttachEmulator(DevicePair& pair, WriterEmulator& emulator) {
  return std::make_unique<EmulatorLine>(pair, emulator);
}
