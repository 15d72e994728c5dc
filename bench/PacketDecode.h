#pragma once
// packet_decode_ratio: the client's decode of a data packet's wire form into
// a data set (DecodePacket + SetData) over the least a decoder must do with
// the same bytes: our own CBOR reader walking every item once and making one
// QString for every text it meets. Both are timed in this run (median of 7
// rounds, 3 with --quick); the ratio, decode over walk, is reported as
// `figure`.
#include <QByteArray>

#include <benchmark/benchmark.h>

void BenchPacketDecode(benchmark::State& state, const char* figure, const QByteArray& packet);
