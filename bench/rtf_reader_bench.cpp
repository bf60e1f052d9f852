// Reading release notes of about 1 MB into a text document, as the wizard's
// list of changes does: a document of plain formatted paragraphs, lists and
// a table, and the same with what other word processors add (hidden text,
// capitals, notes, inner tables with their flat text, Symbol bullets), so
// that what the reader does for those is seen beside what it always did.
//
//   bench_rtf_reader [--benchmark_repetitions=N ...]
//
// bench/rtf_reader_against_baseline.sh runs it beside the reader of an
// earlier commit.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QTextDocument>

#include "richtext/rtf_reader.h"

namespace {

const QByteArray kHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;}\\viewkind4\\uc1\n";

// One table, then paragraphs and lists: release notes hold few tables.
const QByteArray kPlainTable = "\\trowd\\cellx3000\\cellx6000\\pard\\intbl Module\\cell Version 2.4\\cell\\row\\pard\n";
const QByteArray kPlainPiece =
    "\\pard\\qc\\b\\f0\\fs28 Liste des modifications\\par\n"
    "\\pard\\b0\\fs20{\\pntext\\f1\\'B7\\tab}\\fi-360\\li720 Correction de l'\\'e9dition \\cf1 urgente\\cf0\\par\n"
    "\\u8364? et \\i italique\\i0 , \\ul soulign\\'e9\\ulnone\\line suite\\tab fin\\par\n";

const QByteArray kOtherWritersTable =
    "\\trowd\\cellx6000\\pard\\intbl Module\\par\\pard\\intbl\\itap2 A\\nestcell B\\nestcell"
    "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par A / B\\par}"
    "\\pard\\intbl\\itap1\\cell\\row\\pard\n";
const QByteArray kOtherWritersPiece =
    "\\pard\\qc\\b\\caps Liste des modifications\\caps0\\par\n"
    "\\pard\\b0{\\f1\\uc1\\u-3913?}\\tab Correction{\\v  interne} de l'\\'e9dition{\\super\\chftn}"
    "{\\footnote\\pard\\plain{\\super\\chftn} Voir la notice.}\\par\n"
    "{\\scaps petites capitales} et texte\\par\n";

QByteArray Document(const QByteArray& table, const QByteArray& piece) {
  QByteArray rtf = kHead + table;
  while (rtf.size() < (1 << 20)) rtf += piece;
  return rtf + "}";
}

void ReadDocument(benchmark::State& state, const QByteArray& rtf) {
  for (auto _ : state) {
    QTextDocument document;
    kelvaro::ReadRtf(rtf, &document);
    benchmark::DoNotOptimize(document.characterCount());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * rtf.size());
}

void BM_ReadPlainNotes(benchmark::State& state) { ReadDocument(state, Document(kPlainTable, kPlainPiece)); }
void BM_ReadOtherWritersNotes(benchmark::State& state) {
  ReadDocument(state, Document(kOtherWritersTable, kOtherWritersPiece));
}

BENCHMARK(BM_ReadPlainNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOtherWritersNotes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
