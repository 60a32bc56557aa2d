// The page in Chromium behind lighttpd at OVIX_URL (HTTPS with the certificate OVIX_CA):
// the log-in, what one sees, what the form posts; cross-site posts, framing and slow
// clients refused by the server; make-device-cert.
import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import { X509Certificate, createHash, randomBytes } from 'node:crypto';
import { chmodSync, mkdirSync, mkdtempSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { connect } from 'node:tls';
import { after, before, test } from 'node:test';

const { chromium } = createRequire(`${process.env.OVIX_NODE_MODULES}/`)('playwright-core');
const { OVIX_URL: url, OVIX_ARTEFACTS: artefacts, OVIX_CA: ca } = process.env;
const { OVIX_WEB_USER: username, OVIX_WEB_PASSWORD: password } = process.env;
const source = (path) => readFileSync(new URL(`../../${path}`, import.meta.url), 'latin1');
const golden = source('tests/data/page/five_rows.html');
const expectedPage = golden.slice(golden.indexOf('\n\n') + 2); // the program's output less its header
const config = source('examples/lighttpd/lighttpd.conf');
const setting = (name) => Number(config.match(new RegExp(`^${name} = (\\d+)`, 'm'))[1]);
// Chromium trusts the server's certificate by the hash of its key, and no other.
const keyHash = createHash('sha256')
  .update(new X509Certificate(readFileSync(ca)).publicKey.export({ type: 'spki', format: 'der' }))
  .digest('base64');
let browser, page;
before(async () => {
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', chromiumSandbox: false,
    args: ['--disable-gpu', `--ignore-certificate-errors-spki-list=${keyHash}`] });
  page = await browser.newPage(
    { viewport: { width: 1100, height: 900 }, httpCredentials: { username, password } });
});
after(() => browser?.close());

// Runs of the page (its first log record) and of the form's target (its own record).
function runs() {
  const count = (file, pattern) => {
    try { return readFileSync(file, 'latin1').match(pattern)?.length ?? 0; } catch { return 0; }
  };
  return [count('/tmp/cgi.log', / main$/gm), count('/tmp/updatefirmwarechecksum.runs', /\n/g)];
}

// One request by curl: [status, body, headers]. The log-in goes to curl on its standard
// input; plain: the right one over plain HTTP; tls1.1: the right one, TLS 1.1 at most.
const securityHeaders = ['x-frame-options: DENY', "content-security-policy: frame-ancestors 'none'",
  'x-content-type-options: nosniff', 'referrer-policy: same-origin', 'server: lighttpd',
  'strict-transport-security: max-age=31536000'];
function request(login, method, path, header, secret = password) {
  const args = ['-s', '--path-as-is', '--cacert', ca, '-D', '/tmp/headers', '-w', '\n%{http_code}',
    '-K', '-', `${login === 'plain' ? url.replace('https:', 'http:') : url}${path}`];
  args.push(...(method === 'HEAD' ? ['-I'] : ['-X', method]));
  if (!['GET', 'HEAD'].includes(method)) args.push('-F', 'resetappflag=Reset Flag');
  if (header !== '-') args.push('-H', header);
  if (login === 'tls1.1') args.push('--tlsv1.1', '--tls-max', '1.1', '--ciphers', 'DEFAULT@SECLEVEL=0');
  const right = `user = "${username}:${secret}"\n`;
  const user = { none: '', wrong: `user = "${username}:wrong"\n`, right, plain: right, 'tls1.1': right,
    digest: `${right}digest\n` };
  const out = spawnSync('curl', args, { input: user[login], encoding: 'latin1' }).stdout;
  let headers = '';
  try { headers = readFileSync('/tmp/headers', 'latin1').toLowerCase(); } catch {}
  return [out.slice(out.lastIndexOf('\n') + 1), out.slice(0, out.lastIndexOf('\n')), headers];
}

// The rows of a pipe table as objects by column (the format of tests/support's ReadTable:
// '#' comments, a header, a rule line after it, "\|" for a '|' in a cell); a column that
// is not one of `columns`, one of them missing or a row of another width fails.
function table(path, columns) {
  const lines = source(path).split('\n').filter((line) => line.trim() && !line.startsWith('#'));
  const cells = (line) => [...line.matchAll(/ *((?:[^|\\]|\\.)*?) *\|/g)].slice(1)
    .map((m) => m[1].replaceAll('\\|', '|'));
  const [header, ...rows] = lines.filter((line, i) => i !== 1 || !/^[ |:-]*$/.test(line)).map(cells);
  for (const name of header) assert.ok(columns.includes(name), `${path}: unknown column ${name}`);
  for (const name of columns) assert.ok(header.includes(name), `${path}: no column ${name}`);
  for (const row of rows) assert.equal(row.length, header.length, `${path}: ${row.join(' | ')}`);
  return rows.map((row) => Object.fromEntries(header.map((name, i) => [name, row[i]])));
}

test('the server answers each request of the table and starts no program for a refused one', () => {
  const columns = ['client', 'method', 'path', 'header', 'status', 'program'];
  for (const row of table('tests/data/web/requests.txt', columns)) {
    const { client: login, method, path, header, status, program: ran } = row;
    const before = runs();
    const [code, body, headers] = request(login, method, path, header);
    const started = runs().map((n, i) => n - before[i]);
    const name = Object.values(row).join(' ');
    assert.deepEqual([code, started], [status, [+(ran === 'page'), +(ran === 'target')]], name);
    if (ran === 'page') assert.equal(body, expectedPage, name);
    // Every answer carries the headers against framing and sniffing, and no version.
    if (code !== '000') {
      for (const h of securityHeaders) assert.match(headers, new RegExp(`^${h}\r$`, 'mi'), `${name}: ${h}`);
    }
  }
});

test('set-web-user under BusyBox changes the password while the server runs', () => {
  const setPassword = (secret) => execFileSync('busybox',
    ['sh', new URL('../../scripts/set-web-user', import.meta.url).pathname, '/tmp/lighttpd/users', username],
    { input: `${secret}\n` });
  setPassword('changed-password');
  try {
    assert.equal(request('right', 'GET', '/updatefirmwareform.cgi', '-')[0], '401');
    assert.deepEqual(request('right', 'GET', '/updatefirmwareform.cgi', '-', 'changed-password').slice(0, 2),
      ['200', expectedPage]);
  } finally {
    setPassword(password);
  }
});

// The fields the checksum stand-in received, in order, each as {name, value, md5}.
async function received() {
  await page.waitForURL('**/updatefirmwarechecksum.cgi');
  return page.locator('#fields tr.field').evaluateAll((rows) => rows.map((row) =>
    Object.fromEntries([...row.cells].map((cell) => [cell.className, cell.textContent]))));
}
const namesAndValues = (fields) => fields.map((f) => [f.name, f.value]);

test('the home page links to the page', async () => {
  await page.goto(`${url}/index.html`);
  await page.getByRole('link', { name: 'Update Firmware' }).click();
  await page.waitForURL(`${url}/updatefirmwareform.cgi`);
  assert.equal(await page.title(), 'OVIX Web Server - Update Firmware');
  await page.screenshot({ path: `${artefacts}/updatefirmwareform.png`, fullPage: true });
});

test('Send the file posts the file and the image type', async () => {
  // line ends and boundary-like bytes inside the image
  const image = Buffer.concat([randomBytes(200 * 1024), Buffer.from('\r\n--\r\n\n\r')]);
  await page.locator('input[name=imagefile]').setInputFiles(
    { name: 'ovix.img', mimeType: 'application/octet-stream', buffer: image });
  await page.locator('input[name=imagetype][value=application]').check();
  await page.getByRole('button', { name: 'Send the file' }).click();
  const fields = await received();
  assert.deepEqual(namesAndValues(fields),
    [['imagefile', ''], ['imagetype', 'application'], ['submit', 'Send the file']]);
  assert.equal(fields[0].md5, createHash('md5').update(image).digest('hex'));
  await page.screenshot({ path: `${artefacts}/updatefirmwarechecksum.png`, fullPage: true });
});

test('Reset Flag posts its own name only', async () => {
  await page.goto(`${url}/updatefirmwareform.cgi`);
  await page.locator('input[name=resetappflag]').click();
  assert.deepEqual(namesAndValues(await received()),
    [['resetappflag', 'Reset Flag'], ['imagefile', ''], ['imagetype', 'system']]);
});

// A page of another origin, served at http://127.0.0.1:8081/ while BODY runs.
async function otherOrigin(html, body) {
  const other = createServer((_, answer) => answer.end(`<html><body>${html}</body></html>`));
  await new Promise((resolve) => other.listen(8081, '127.0.0.1', resolve));
  try {
    await body();
  } finally {
    other.close();
  }
}

test('a page of another origin that posts the form gets 403; nothing reaches the target', async () => {
  const form = expectedPage.match(/<form[^]*<\/form>/)[0].replace('action="', `action="${url}/`);
  await otherOrigin(`${form}<script>document.forms[0].resetappflag.click()</script>`, async () => {
    const before = runs();
    const answer = page.waitForResponse(`${url}/updatefirmwarechecksum.cgi`);
    await page.goto('http://127.0.0.1:8081/');
    assert.equal((await answer).status(), 403);
    assert.deepEqual(runs(), before);
  });
});

test('Chromium shows no answer of the server in a frame of another origin', async () => {
  // Chromium keeps log-ins apart by the site on top, so the framed request gets the
  // log-in's 401 (with the page's headers); that answer, too, must stay unseen.
  await otherOrigin(`<iframe src="${url}/updatefirmwareform.cgi"></iframe>`, async () => {
    const answer = page.waitForResponse(`${url}/updatefirmwareform.cgi`);
    await page.goto('http://127.0.0.1:8081/', { waitUntil: 'load' });
    assert.equal((await answer).headers()['x-frame-options'], 'DENY');
    const framed = page.frames().find((frame) => frame !== page.mainFrame());
    const shown = await framed.content();
    assert.ok(!/Unauthorized|Firmware/.test(shown), `the frame shows: ${shown}`);
  });
});

test('10 anonymous clients that trickle their request heads do not keep the user out', async () => {
  const idle = setting('server.max-read-idle'), start = Date.now();
  const port = new URL(url).port;
  const sockets = Array.from({ length: 10 }, () => connect({ port, host: '127.0.0.1', ca: readFileSync(ca) }));
  const closed = sockets.map((socket) => new Promise((resolve) => socket.on('close', () => resolve(Date.now()))));
  sockets.forEach((socket) => socket.on('error', () => {}));
  await Promise.all(sockets.map((socket) => new Promise((resolve) => socket.on('secureConnect', resolve))));
  // One byte of the head every 2 s, well within the idle limit.
  const head = 'GET /updatefirmwareform.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\n';
  let sent = 0;
  const trickle = setInterval(() => { sockets.forEach((socket) => socket.write(head[sent % head.length])); sent++; }, 2000);
  try {
    const asked = Date.now();
    assert.deepEqual(request('right', 'GET', '/updatefirmwareform.cgi', '-').slice(0, 2), ['200', expectedPage]);
    assert.ok(Date.now() - asked < 5000, `the page took ${Date.now() - asked} ms`);
  } finally {
    clearInterval(trickle);
  }
  // Once they fall silent they are closed after the idle limit.
  const silent = Date.now();
  for (const end of await Promise.all(closed)) {
    const ms = end - silent;
    assert.ok(ms <= (idle + 5) * 1000, `closed ${ms} ms after the last byte (started ${end - start} ms before)`);
  }
});

// make-device-cert: [arguments, PATH, exit status, what its output must hold].
test('make-device-cert makes a server certificate that is no CA, refuses to overwrite, needs openssl', () => {
  const dir = mkdtempSync('/tmp/cert.');
  const script = new URL('../../scripts/make-device-cert', import.meta.url).pathname;
  const rows = [
    [[dir, '192.168.10.20', 'ovix.local'], process.env.PATH, 0, /^SHA-256 fingerprint: ([0-9A-F]{2}:){31}[0-9A-F]{2}$/m],
    [[dir, '192.168.10.20'], process.env.PATH, 1, /device\.key exists; nothing changed/],
    [['--force', dir, '192.168.10.20'], process.env.PATH, 0, /SHA-256 fingerprint/],
    [[dir, '192.168.10.20'], '/nonexistent', 1, /openssl not found/],
  ];
  for (const [args, path, status, output] of rows) {
    const run = spawnSync('/usr/bin/busybox', ['sh', script, ...args], { encoding: 'latin1', env: { PATH: path } });
    assert.equal(run.status, status, `${args}: ${run.stderr}`);
    assert.match(run.stdout + run.stderr, output, `${args}`);
  }
  const cert = new X509Certificate(readFileSync(`${dir}/device.crt`));
  assert.equal(cert.ca, false);
  assert.equal(cert.subjectAltName, 'IP Address:192.168.10.20');
  assert.equal(statSync(`${dir}/device.key`).mode & 0o777, 0o400);
});

// cgi-place alone, in a folder of its own: [places held by a sleeping run (killed with
// -9 first, or not), the folder's mode, what the next run writes].
test('cgi-place runs the program on a free place, refuses with 503 after the wait', async () => {
  const place = `${process.env.OVIX_PREFIX}/bin/cgi-place`;
  const refusal = /^Status: 503 Service Unavailable\r\nRetry-After: 5\r\n/;
  const rows = [['none', 0o700, /^ran\n$/], ['killed', 0o700, /^ran\n$/], ['held', 0o700, refusal],
    ['none', 0o777, refusal]];
  for (const [held, mode, output] of rows) {
    const dir = mkdtempSync('/tmp/places.');
    chmodSync(dir, mode);
    const env = { OVIX_PLACES: '1', OVIX_PLACE_DIR: dir, OVIX_PLACE_WAIT: '1' };
    let holder;
    if (held !== 'none') {
      holder = spawn(place, ['/bin/sleep', '30'], { env });
      await new Promise((resolve) => setTimeout(resolve, 300));
      if (held === 'killed') holder.kill('SIGKILL');
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    const run = spawnSync(place, ['/bin/sh', '-c', 'echo ran'], { env, encoding: 'latin1' });
    holder?.kill('SIGKILL');
    assert.match(run.stdout, output, `${held} ${mode.toString(8)}: ${run.stderr}`);
  }
});

// The options line pasted into the configuration: [line, lighttpd -t's status, its output].
test('an options line with a quote or a backslash stops lighttpd with a clear line', () => {
  const prefix = mkdtempSync('/tmp/prefix.');
  mkdirSync(`${prefix}/bin`);
  const refused = /java-tool-options: a quote or backslash in the options line/;
  const rows = [['-Xint', 0, /Syntax OK/], ['-Xint" include_shell "touch /tmp/injected', 255, refused],
    ['-Xint\\', 255, refused]];
  for (const [line, status, output] of rows) {
    writeFileSync(`${prefix}/bin/java-tool-options`, `# the options\n${line}\n`);
    const run = spawnSync('/usr/sbin/lighttpd', ['-t', '-f', new URL('../../examples/lighttpd/lighttpd.conf',
      import.meta.url).pathname], { env: { ...process.env, OVIX_PREFIX: prefix }, encoding: 'latin1' });
    assert.deepEqual([run.status, output.test(run.stdout + run.stderr)], [status, true], line);
  }
  assert.throws(() => statSync('/tmp/injected'));
});

// set-web-user under BusyBox: [file name, password, exit status]; the file keeps its group and mode.
test('set-web-user refuses short passwords, takes any file name, keeps owner and mode', () => {
  const dir = mkdtempSync('/tmp/users.');
  const script = new URL('../../scripts/set-web-user', import.meta.url).pathname;
  const set = (file, secret) => spawnSync('busybox', ['sh', script, file, 'admin'], { cwd: dir, input: `${secret}\n` });
  for (const [file, secret, status] of [['a=b', 'short', 1], ['a=b', 'long-enough', 0], ['with space', 'long-enough', 0]]) {
    assert.equal(set(file, secret).status, status, `${file} ${secret}`);
  }
  execFileSync('chown', ['root:33', `${dir}/a=b`]);
  chmodSync(`${dir}/a=b`, 0o640);
  assert.equal(set('a=b', 'another-one').status, 0);
  const { mode, gid } = statSync(`${dir}/a=b`);
  assert.deepEqual([mode & 0o777, gid], [0o640, 33]);
  assert.match(readFileSync(`${dir}/a=b`, 'latin1'), /^admin:OVIX:[0-9a-f]{64}\n$/);
});
