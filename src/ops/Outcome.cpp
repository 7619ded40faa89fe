#include "ops/Outcome.h"

const char* StageName(OpStage stage) {
  switch (stage) {
    case OpStage::Check: return "check";
    case OpStage::Probe: return "probe";
    case OpStage::Erase: return "erase";
    case OpStage::BlankCheck: return "blank_check";
    case OpStage::Option: return "option";
    case OpStage::OptionVerify: return "option_verify";
    case OpStage::BodyOption: return "body_option";
    case OpStage::Protection: return "protection";
    case OpStage::Id: return "id";
    case OpStage::IdVerify: return "id_verify";
    case OpStage::Program: return "program";
    case OpStage::ProgramVerify: return "program_verify";
    case OpStage::Eeprom: return "eeprom";
    case OpStage::EepromVerify: return "eeprom_verify";
    case OpStage::Download: return "download";
    case OpStage::Count: return "count";
  }
  return "";
}

const char* ResultName(OpResult result) {
  switch (result) {
    case OpResult::Ok: return "ok";
    case OpResult::Failed: return "failed";
    case OpResult::Stopped: return "stopped";
    case OpResult::Simulated: return "simulated";
  }
  return "";
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::None: return "none";
    case Verdict::UnknownDevice: return "unknown_device";
    case Verdict::BlankImage: return "blank_image";
    case Verdict::OptionFields: return "option_fields";
    case Verdict::NotRtiw: return "not_rtiw";
    case Verdict::Link: return "link";
    case Verdict::Reply: return "reply";
    case Verdict::WriteFailed: return "write_failed";
    case Verdict::NotFinished: return "not_finished";
    case Verdict::NotBlank: return "not_blank";
    case Verdict::Differs: return "differs";
    case Verdict::Unprotected: return "unprotected";
    case Verdict::ReadError: return "read_error";
    case Verdict::QtpFile: return "qtp_file";
    case Verdict::LineFault: return "line_fault";
    case Verdict::LedgerRefused: return "ledger_refused";
    case Verdict::LedgerLost: return "ledger_lost";
  }
  return "";
}

bool Outcome::Fail(Verdict why, std::string_view shown, std::int32_t status, const VerdictValues& values) {
  if (result == OpResult::Failed) return false;
  result = OpResult::Failed;
  verdict = why;
  text = shown;
  link = status;
  address = values.address;
  ic = values.ic;
  buffer = values.buffer;
  return false;
}

void Outcome::Done() {
  if (result != OpResult::Failed) result = OpResult::Ok;
}

void Outcome::EndByLineFault(std::string_view why) {
  result = OpResult::Stopped;
  Fail(Verdict::LineFault, why);
}
