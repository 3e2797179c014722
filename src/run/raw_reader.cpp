// Raw image record reader: one record per step, problem records shown,
// skipped or repaired by searching for the next valid record.
#include "run/raw_reader.h"

#include <cstring>

#include "app/application.h"
#include "common/raw_record.h"
#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "run/output_set.h"

namespace {

// Payload length of a record from its first three bytes; below 1 counts as 0.
int PayloadLength(const uint8_t* head) {
  const int n = static_cast<int>(rawrec::ImageRecordLength(head[1], head[2])) - 3;
  return n < 1 ? 0 : n;
}

bool IsMeasurementType(uint8_t type) {
  switch (type) {
    case 7: case 17: case 64: case 65: case 66: case 67: case 74: case 75: case 117:
      return true;
    default:
      return false;
  }
}

}  // namespace

void HandOverFirstRecord(OutputSet* set, ConvState& cs) {
  FileIdentity& id = *set->identity;
  if (id.firstRecordSeen) return;
  id.firstRecordSeen = 1;
  cs.rx.typeCode = static_cast<uint8_t>(id.receiverCode & 0xFF);
  cs.rx.firmwareVersion = id.navVersion;
  cs.rx.navVersion = id.navVersion;
  cs.rx.sigVersion = id.sigVersion;
  cs.rx.gpsWeek = id.gpsWeek;
}

Status SubmitRawRecord(OutputSet* set, ConvState& cs, const uint8_t* rec) {
  HandOverFirstRecord(set, cs);
  if (set->dat == nullptr) return status::kDatNotOpen;
  const size_t len = rawrec::ImageRecordLength(rec[1], rec[2]);
  const Status check = rawrec::CheckEnvelope(rec, len);
  if (check != status::kOk) return check;
  const Status st = WriteRawRecord(cs, set->dat, rec, len);
  return cs.writer.writeError != 0 ? status::kDiskFull : st;
}

Status ResyncToRecord(FILE* stream, uint32_t* pos, OutputSet* set, ConvState& cs, uint8_t* buffer,
                      uint32_t* checksumErrors) {
  Status st = status::kNoResync;
  while (!std::feof(stream)) {
    ++*pos;
    std::fseek(stream, static_cast<long>(*pos), SEEK_SET);
    if (std::fread(buffer, 1, 1, stream) != 1) break;
    if (buffer[0] != rawrec::kStx) continue;
    if (std::fread(buffer + 1, 1, 2, stream) != 2) break;
    const uint8_t type = buffer[2];
    const int n = PayloadLength(buffer);
    if ((type >= 22 && type != 101 && type != 102 && type != 117) || n == 0) continue;
    if (std::fread(buffer + 3, 1, static_cast<size_t>(n), stream) != static_cast<size_t>(n)) {
      std::fseek(stream, static_cast<long>(*pos), SEEK_SET);
      continue;
    }
    if (buffer[3 + n - 1] != rawrec::kEtx) continue;
    st = SubmitRawRecord(set, cs, buffer);
    if (st == status::kOk) return st;
    if (st == status::kBadChecksum) ++*checksumErrors;
  }
  return st;
}

void Application::DumpBytes(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    SendLine(3, 112, "[%3d]: %02X", static_cast<int>(i), static_cast<unsigned>(bytes[i]));
}

// Shows the 256 bytes after the record end, then returns the stream there.
void Application::DumpFollowingBytes() {
  uint8_t* next = recordBuffer + 512;
  const size_t got = std::fread(next, 1, 256, input);
  SendLine(3, 0, " ");
  SendLine(3, 113, "Next 256 Bytes:");
  SendLine(3, 0, " ");
  DumpBytes(next, got);
  SendLine(3, 0, " ");
  std::fseek(input, static_cast<long>(recordEnd), SEEK_SET);
}

bool Application::RawRecordStep(ConvState& cs, Status& st, Status& warning) {
  OutputSet* set = outputSet;
  bytesWanted = 3;
  bytesGot = static_cast<uint16_t>(std::fread(recordBuffer, 1, 3, input));
  if (bytesGot < 3) return false;  // end of data
  payloadLength = static_cast<int16_t>(PayloadLength(recordBuffer));

  if (recordBuffer[0] != rawrec::kStx || payloadLength == 0) {
    // No record starts here.
    if (!fixup) {
      st = warning = status::kNoStx;
      return false;
    }
    warning = status::kNoStx;
    if (verbose >= 2) {
      SendLine(2, 119, "logsplit:  status : %d", static_cast<int>(status::kNoStx));
      SendLine(2, 111, "Start of Problem Record: %08X", recordStart);
    }
    if (verbose >= 3) {
      DumpBytes(recordBuffer, 3);
      recordEnd = static_cast<uint32_t>(std::ftell(input));
      DumpFollowingBytes();
    }
  } else {
    bytesWanted = static_cast<uint16_t>(payloadLength);
    bytesGot = static_cast<uint16_t>(std::fread(recordBuffer + 3, 1, bytesWanted, input));
    if (bytesGot < bytesWanted) return false;  // truncated last record
    recordEnd = static_cast<uint32_t>(std::ftell(input));
    st = SubmitRawRecord(set, cs, recordBuffer);
    if (st == status::kOk) {
      ++recordCount;
      if (verbose >= 2) {
        const uint8_t type = recordBuffer[2];
        if (IsMeasurementType(type))
          SendLine(2, 122, "Record id: %3d   Position: %08X   Time: %9.3f", static_cast<int>(type),
                   recordStart, cs.epoch.last / 1000.0);
        else
          SendLine(2, 110, "Record id: %3d   Position: %08X", static_cast<int>(type), recordStart);
      }
      return true;
    }
    // Problem record: complete but not converted.
    warning = st;
    if (verbose >= 2) {
      SendLine(2, 119, "logsplit:  status : %d", static_cast<int>(st));
      SendLine(2, 111, "Start of Problem Record: %08X", recordStart);
    }
    if (verbose >= 3) {
      DumpBytes(recordBuffer, static_cast<size_t>(payloadLength) + 3);
      DumpFollowingBytes();
    }
    if (st == status::kBadChecksum && ignoreChecksum) {
      st = status::kOk;
      ++checksumErrors;
      lostBytes += recordEnd - recordStart;
      return true;
    }
    if (st == status::kOutOfSequence && fixup) {
      st = status::kOk;
      return true;
    }
    if (st == status::kDiskFull || !fixup) return false;
  }

  // Fixup: search for the next record that converts.
  if (verbose >= 2) SendLine(2, 114, "Attempting Fixup: %08X", recordStart);
  recordEnd = recordStart;
  uint32_t pos = recordStart;
  st = ResyncToRecord(input, &pos, set, cs, recordBuffer, &checksumErrors);
  if (st != status::kOk) return false;
  if (verbose >= 3) {
    SendLine(3, 115, "Start Search    : %08X", recordEnd);
    SendLine(3, 116, "Resync to Record: %08X", pos);
    SendLine(3, 117, "Lost Bytes      : %lu", static_cast<unsigned long>(pos - recordEnd));
    SendLine(3, 0, " ");
  }
  lostBytes += pos - recordEnd;
  ++recordCount;
  return true;
}
