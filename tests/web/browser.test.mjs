// The page in Chromium behind lighttpd at OVIX_URL: the log-in, what one sees, what the
// form posts; cross-site posts and idle connections refused by the server.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { connect } from 'node:net';
import { after, before, test } from 'node:test';

const { chromium } = createRequire(`${process.env.OVIX_NODE_MODULES}/`)('playwright-core');
const { OVIX_URL: url, OVIX_ARTEFACTS: artefacts } = process.env;
const { OVIX_WEB_USER: username, OVIX_WEB_PASSWORD: password } = process.env;
const source = (path) => readFileSync(new URL(`../../${path}`, import.meta.url), 'latin1');
const golden = source('tests/data/page/five_rows.html');
const expectedPage = golden.slice(golden.indexOf('\n\n') + 2); // the program's output less its header
const config = source('examples/lighttpd/lighttpd.conf');
const setting = (name) => Number(config.match(new RegExp(`^${name} = (\\d+)`, 'm'))[1]);
let browser, page;
before(async () => {
  browser = await chromium.launch(
    { executablePath: '/usr/bin/chromium', chromiumSandbox: false, args: ['--disable-gpu'] });
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

// One request by curl: [status, body]. The log-in goes to curl on its standard input.
function request(login, method, path, header, secret = password) {
  const args = ['-s', '--path-as-is', '-X', method, '-w', '\n%{http_code}', '-K', '-', `${url}${path}`];
  if (method !== 'GET') args.push('-F', 'resetappflag=Reset Flag');
  if (header !== '-') args.push('-H', header);
  const user = { none: '', wrong: `user = "${username}:wrong"\ndigest\n`,
    right: `user = "${username}:${secret}"\ndigest\n` };
  const out = execFileSync('curl', args, { input: user[login], encoding: 'latin1' });
  return [out.slice(out.lastIndexOf('\n') + 1), out.slice(0, out.lastIndexOf('\n'))];
}

test('the server answers each request of the table and starts no program for a refused one', () => {
  const rows = source('tests/data/web/requests.txt').split('\n').filter((line) => /^[a-z]/.test(line));
  for (const row of rows) {
    const [login, method, path, header, status, ran] = row.split(/\s{2,}/);
    const before = runs();
    const [code, body] = request(login, method, path, header);
    const started = runs().map((n, i) => n - before[i]);
    assert.deepEqual([code, started], [status, [+(ran === 'page'), +(ran === 'target')]], row);
    if (ran === 'page') assert.equal(body, expectedPage, row);
  }
});

test('set-web-user under BusyBox changes the password while the server runs', () => {
  const setPassword = (secret) => execFileSync('busybox',
    ['sh', new URL('../../scripts/set-web-user', import.meta.url).pathname, '/tmp/lighttpd/users', username],
    { input: `${secret}\n` });
  setPassword('changed');
  try {
    assert.equal(request('right', 'GET', '/updatefirmwareform.cgi', '-')[0], '401');
    assert.deepEqual(request('right', 'GET', '/updatefirmwareform.cgi', '-', 'changed'), ['200', expectedPage]);
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

test('a page of another origin that posts the form gets 403; nothing reaches the target', async () => {
  const form = expectedPage.match(/<form[^]*<\/form>/)[0].replace('action="', `action="${url}/`);
  const other = createServer((_, answer) =>
    answer.end(`<html><body>${form}<script>document.forms[0].resetappflag.click()</script></body></html>`));
  await new Promise((resolve) => other.listen(8081, '127.0.0.1', resolve));
  try {
    const before = runs();
    const answer = page.waitForResponse(`${url}/updatefirmwarechecksum.cgi`);
    await page.goto('http://127.0.0.1:8081/');
    assert.equal((await answer).status(), 403);
    assert.deepEqual(runs(), before);
  } finally {
    other.close();
  }
});

test('connections that send nothing are closed after the idle limit; others are served meanwhile', async () => {
  const idle = setting('server.max-read-idle'), start = Date.now();
  const places = setting('server.max-connections');
  const sockets = Array.from({ length: places - 1 }, () => connect(new URL(url).port, '127.0.0.1'));
  const closed = sockets.map((socket) => new Promise((resolve) => socket.on('close', () => resolve(Date.now()))));
  await Promise.all(sockets.map((socket) => new Promise((resolve) => socket.on('connect', resolve))));
  assert.deepEqual(request('right', 'GET', '/updatefirmwareform.cgi', '-'), ['200', expectedPage]);
  assert.ok(Date.now() - start < idle * 1000, 'served while the idle connections were open');
  for (const end of await Promise.all(closed)) {
    const ms = end - start;
    assert.ok(ms >= (idle - 1) * 1000 && ms <= (idle + 5) * 1000, `closed after ${ms} ms`);
  }
});
