// Many page requests at once through lighttpd (curl, 8 transfers at a time):
// every response whole and identical, and the shared log /tmp/cgi.log then
// holds each process's records, whole lines in the layout's format. Runs
// inside scripts/web-server, which gives OVIX_URL and OVIX_PREFIX. The
// figures are printed and kept in $OVIX_ARTEFACTS/load.txt for the record;
// they are no pass/fail thresholds.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { test } from 'node:test';

const requests = 200;
const concurrency = 8;
const log = '/tmp/cgi.log';

// The records of one run of the page for the sample device, in order.
const expectedMessages = [
  'main', 'OpenJavaVM',
  'JAVA_OPTIONS: -Dovix.config=/app/ovix.properties',
  `JAVA_CLASSPATH:${process.env.OVIX_PREFIX}/share/java/configovix.jar`,
  'ChangeStdErr',
  'GetVersion', 'Version: 20601', 'GetVersion', 'Version: 20512', 'GetVersion', 'Version: 20604',
  'GetReleaseCandidate', 'GetCreatedAt', 'GetBootFlag', 'GetAppFlag',
];

// One log line: date with microseconds, two blanks, then the fields level (10),
// label (15), label number (6), file name (25), line (6), each left-aligned
// with a minimum width, then the message. A line is in the format when
// writing its parsed fields again gives the same text.
const linePattern =
  /^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6})  (\S+) *(\S+) *(-?\d+) *(\S+?) *(-?\d+) *(.*)$/;
function parseLine(text) {
  const m = linePattern.exec(text);
  if (!m) return null;
  const [, date, level, label, pid, file, line, message] = m;
  const again = `${date}  ${level.padEnd(10)}${label.padEnd(15)}${pid.padEnd(6)}` +
    `${file.padEnd(25)}${line.padEnd(6)}${message}`;
  return again === text ? { date, level, label, pid: Number(pid), file, line: Number(line), message } : null;
}

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

test(`${requests} page requests, ${concurrency} at a time`, () => {
  rmSync(log, { force: true });
  const dir = mkdtempSync('/tmp/load-');
  const url = `${process.env.OVIX_URL}/updatefirmwareform.cgi`;
  const args = ['--parallel', '--parallel-immediate', '--parallel-max', String(concurrency),
    '--silent', '--show-error', '--max-time', '30',
    '--write-out', '%{http_code} %{size_download} %{time_total}\\n'];
  for (let i = 0; i < requests; i++) args.push('-o', `${dir}/${i}.html`, url);

  const start = process.hrtime.bigint();
  const curl = spawnSync('curl', args, { encoding: 'utf8', timeout: 100000 });
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  assert.equal(curl.status, 0, `curl: ${curl.error ?? ''} ${curl.stderr}`);

  // Responses: all 200, complete and byte for byte the same.
  const transfers = curl.stdout.trim().split('\n').map((l) => l.split(' '));
  assert.equal(transfers.length, requests);
  assert.deepEqual(transfers.filter(([code]) => code !== '200'), []);
  const first = readFileSync(`${dir}/0.html`);
  assert.ok(first.toString().endsWith('</html>\n'), 'page ends with </html>');
  assert.ok(first.includes('<td>02.06.04</td>'), 'page shows the sample device');
  for (let i = 1; i < requests; i++) {
    assert.ok(readFileSync(`${dir}/${i}.html`).equals(first), `response ${i} differs from the first`);
  }
  rmSync(dir, { recursive: true });

  // The log: whole lines only, each process with its complete records in order.
  const lines = readFileSync(log, 'latin1').split('\n');
  assert.equal(lines.pop(), '', 'log ends with a line end');
  assert.equal(lines.length, requests * expectedMessages.length);
  const byProcess = new Map();
  for (const text of lines) {
    const record = parseLine(text);
    assert.ok(record, `not a whole line in the layout's format: ${JSON.stringify(text)}`);
    assert.deepEqual([record.level, record.label], ['DEBUG', 'cgi']);
    if (!byProcess.has(record.pid)) byProcess.set(record.pid, []);
    byProcess.get(record.pid).push(record);
  }
  assert.equal(byProcess.size, requests);
  for (const [pid, records] of byProcess) {
    assert.deepEqual(records.map((r) => r.message), expectedMessages, `records of process ${pid}`);
  }
  const stderr = '/tmp/lighttpd/cgi-stderr.log';
  // Standard error holds nothing but the VM's note on the options it picked up.
  const notes = (existsSync(stderr) ? readFileSync(stderr, 'utf8') : '').split('\n')
    .filter((line) => line !== '' && !line.startsWith('Picked up JAVA_TOOL_OPTIONS: '));
  assert.deepEqual(notes, [], 'standard error of the CGI programs');

  // Figures: throughput, latency, and how many processes ran at once.
  const times = transfers.map(([, , t]) => Number(t) * 1000).sort((a, b) => a - b);
  const spans = [...byProcess.values()].map((r) => [r[0].date, r[r.length - 1].date]);
  const events = spans.flatMap(([a, b]) => [[a, 1], [b, -1]])
    .sort((x, y) => (x[0] < y[0] ? -1 : x[0] > y[0] ? 1 : y[1] - x[1]));
  let running = 0;
  let most = 0;
  for (const [, step] of events) most = Math.max(most, (running += step));
  const figures = `load: ${requests} requests, ${concurrency} at a time, ${first.length} bytes each: ` +
    `${(requests / seconds).toFixed(1)} req/s, p50 ${percentile(times, 50).toFixed(0)} ms, ` +
    `p95 ${percentile(times, 95).toFixed(0)} ms, up to ${most} page processes at once, ` +
    `${lines.length} log records`;
  console.log(figures);
  mkdirSync(process.env.OVIX_ARTEFACTS, { recursive: true });
  writeFileSync(`${process.env.OVIX_ARTEFACTS}/load.txt`, `${figures}\n`);
});
