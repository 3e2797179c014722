// Stage-2 decoders of the record decoder, one per DAT type: each reads the
// raw work record through a view that ends before the record's checksum,
// fills its slot and the DAT record header, and returns the DAT record
// length (0 when nothing is produced). A decoder that finds the record
// shorter than its layout, or contents its slot cannot hold, sets
// kDecodeLayout and produces nothing.
#pragma once
#include <cstdint>

#include "k01lib/decode_record.h"
#include "k01lib/decode_state.h"
#include "k01lib/field_readers.h"

namespace k01 {

// Header with an 8-bit length and a byte 2 of the decoder's choosing.
void setDatHeader(uint8_t header[4], uint32_t length, uint8_t byte2, uint8_t type);
// Header with a 16-bit length (low byte in byte 1, high byte in byte 2).
void setDatHeaderWide(uint8_t header[4], uint32_t length, uint8_t type);

uint16_t decodeMeas17(k01_view_t& rec, k01_meas17_t& slot, k01_meas17_store_t& store,
                      uint8_t header[4], uint8_t& status);
uint16_t decodePosition11(k01_view_t& rec, k01_pos11_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodePrecise29(k01_view_t& rec, k01_pos29_t& slot, uint8_t header[4], uint8_t& status);

uint16_t decodeRec5(k01_view_t& rec, k01_rec5_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec12(k01_view_t& rec, k01_rec12_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeIon15(k01_view_t& rec, k01_ion15_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec16(k01_view_t& rec, k01_rec16_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec19(k01_view_t& rec, k01_rec19_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec21(k01_view_t& rec, k01_rec21_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodePages25(k01_view_t& rec, k01_page25_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeAux26(k01_view_t& rec, k01_aux26_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec28(k01_view_t& rec, k01_rec28_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec30(k01_view_t& rec, k01_rec30_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec31(k01_view_t& rec, k01_rec31_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeRec32(k01_view_t& rec, k01_rec32_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeCoded40(k01_view_t& rec, k01_coded40_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeData98(k01_view_t& rec, k01_data98_t& slot, uint8_t header[4], uint8_t& status);
uint16_t decodeData99(k01_view_t& rec, k01_data99_t& slot, uint8_t header[4], uint8_t& status);

}  // namespace k01
