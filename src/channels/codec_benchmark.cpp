// Encoding and decoding of typed values: the codec's hot path (every value the server pushes
// goes through BinaryToVariant2). Items are values; an array counts its elements.
#include <benchmark/benchmark.h>

#include <vector>

#include "channels/channelutils.h"

namespace corvid {
namespace {

constexpr int kWindow = 20000;  // what the link reserves for one value

std::vector<std::uint8_t> Encoded(const Variant& value, std::uint16_t code) {
  std::vector<std::uint8_t> bytes(kWindow);
  int written = 0;
  VariantToBinary2(value, code, bytes.data(), kWindow, written, false);
  bytes.resize(static_cast<std::size_t>(written));
  return bytes;
}

Variant Float4Array(int count) {
  VariantArray array(kTypeFloat4, static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    array.Set(static_cast<std::size_t>(i), 0.5f * static_cast<float>(i));
  return array;
}

void Decode(benchmark::State& state, const Variant& sample, std::uint16_t code, int items) {
  const std::vector<std::uint8_t> bytes = Encoded(sample, code);
  Variant value;
  int consumed = 0;
  for (auto _ : state) {
    BinaryToVariant2(value, code, bytes.data(), static_cast<int>(bytes.size()), consumed, false);
    benchmark::DoNotOptimize(value);
    benchmark::DoNotOptimize(consumed);
  }
  state.SetItemsProcessed(state.iterations() * items);
}

void Encode(benchmark::State& state, const Variant& value, std::uint16_t code, int items) {
  std::vector<std::uint8_t> buffer(kWindow);
  int written = 0;
  for (auto _ : state) {
    VariantToBinary2(value, code, buffer.data(), kWindow, written, false);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::DoNotOptimize(written);
  }
  state.SetItemsProcessed(state.iterations() * items);
}

void BM_DecodeInt4(benchmark::State& state) {
  Decode(state, 123456, kTypeInt4, 1);
}
void BM_DecodeFloat8(benchmark::State& state) {
  Decode(state, 21.3, kTypeFloat8, 1);
}
void BM_DecodeStringAscii(benchmark::State& state) {
  Decode(state, "Boiler room 3", kTypeString, 1);
}
void BM_DecodeStringCyrillic(benchmark::State& state) {
  Decode(state, "Котельная 3", kTypeString, 1);
}
void BM_DecodeFloat4Array100(benchmark::State& state) {
  Decode(state, Float4Array(100), kArrayFlag | kTypeFloat4, 100);
}
void BM_EncodeInt4(benchmark::State& state) {
  Encode(state, 123456, kTypeInt4, 1);
}
void BM_EncodeFloat8(benchmark::State& state) {
  Encode(state, 21.3, kTypeFloat8, 1);
}
void BM_EncodeFloat8FromInt4(benchmark::State& state) {
  Encode(state, 21, kTypeFloat8, 1);
}
void BM_EncodeStringAscii(benchmark::State& state) {
  Encode(state, "Boiler room 3", kTypeString, 1);
}
void BM_EncodeStringCyrillic(benchmark::State& state) {
  Encode(state, u"Котельная 3", kTypeString, 1);
}
void BM_EncodeFloat4Array100(benchmark::State& state) {
  Encode(state, Float4Array(100), kArrayFlag | kTypeFloat4, 100);
}

BENCHMARK(BM_DecodeInt4);
BENCHMARK(BM_DecodeFloat8);
BENCHMARK(BM_DecodeStringAscii);
BENCHMARK(BM_DecodeStringCyrillic);
BENCHMARK(BM_DecodeFloat4Array100);
BENCHMARK(BM_EncodeInt4);
BENCHMARK(BM_EncodeFloat8);
BENCHMARK(BM_EncodeFloat8FromInt4);
BENCHMARK(BM_EncodeStringAscii);
BENCHMARK(BM_EncodeStringCyrillic);
BENCHMARK(BM_EncodeFloat4Array100);

}  // namespace
}  // namespace corvid
