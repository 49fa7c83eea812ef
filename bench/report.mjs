// Reads Google Benchmark JSON output and prints, per case, each
// implementation's throughput and its ratio to the peer. Benchmarks are named
// BM_<Case>_<Implementation>; "Vesk" is ours, every other name a reference.
import { readFileSync } from 'node:fs';

// With repetitions, the medians stand for each benchmark.
const all = JSON.parse(readFileSync(process.argv[2], 'utf8')).benchmarks;
const medians = all.filter((b) => b.aggregate_name === 'median');
const results = medians.length ? medians : all;
const cases = new Map();
for (const b of results) {
  const m = /^BM_(.+)_([A-Za-z0-9]+)$/.exec((b.run_name ?? b.name).split('/')[0]);
  if (!m) continue;
  if (!cases.has(m[1])) cases.set(m[1], new Map());
  const rate = b.bytes_per_second ?? (b.items_per_second ? b.items_per_second : 1e9 / b.real_time);
  cases.get(m[1]).set(m[2], rate);
}
const mbps = (r) => (r / 1e6).toFixed(0).padStart(7) + ' MB/s';
for (const [name, impls] of cases) {
  const ours = impls.get('Vesk');
  const parts = [...impls].map(([impl, rate]) => `${impl} ${mbps(rate)}`);
  const ratio = [...impls].filter(([impl]) => ours && impl !== 'Vesk')
    .map(([impl, rate]) => `  ratio ${(ours / rate).toFixed(2)}x vs ${impl}`).join('');
  console.log(`${name.padEnd(16)} ${parts.join('   ')}${ratio}`);
}
