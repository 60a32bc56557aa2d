// The page in Debian's Chromium (headless), served by lighttpd: what a person
// sees, and what the form posts to the checksum stand-in. Runs inside
// scripts/web-server, which gives OVIX_URL.
import assert from 'node:assert/strict';
import { createHash, randomBytes } from 'node:crypto';
import { createRequire } from 'node:module';
import { after, before, test } from 'node:test';

const { chromium } = createRequire(`${process.env.OVIX_NODE_MODULES}/`)('playwright-core');
const url = process.env.OVIX_URL;
const artefacts = process.env.OVIX_ARTEFACTS;
let browser;
let page;

before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    chromiumSandbox: false,
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  page = await browser.newPage({ viewport: { width: 1100, height: 900 } });
  page.setDefaultTimeout(20000);
});
after(() => browser?.close());

// What the checksum stand-in received: one entry per posted field, in order.
async function received() {
  await page.waitForURL('**/updatefirmwarechecksum.cgi');
  return page.locator('#fields tr.field').evaluateAll((rows) => rows.map((row) =>
    Object.fromEntries([...row.cells].map((cell) => [cell.className, cell.textContent]))));
}

test('the home page links to the page', async () => {
  await page.goto(`${url}/index.html`);
  await page.getByRole('link', { name: 'Update Firmware' }).click();
  await page.waitForURL(`${url}/updatefirmwareform.cgi`);
  assert.equal(await page.title(), 'OVIX Web Server - Update Firmware');
  await page.screenshot({ path: `${artefacts}/updatefirmwareform.png`, fullPage: true });
});

test('Send the file posts the file and the image type', async () => {
  // An image with line ends and boundary-like bytes inside.
  const image = Buffer.concat([randomBytes(200 * 1024), Buffer.from('\r\n--\r\n\n\r')]);
  await page.locator('input[name=imagefile]').setInputFiles(
    { name: 'ovix.img', mimeType: 'application/octet-stream', buffer: image });
  await page.locator('input[name=imagetype][value=application]').check();
  await page.getByRole('button', { name: 'Send the file' }).click();
  const fields = await received();
  assert.deepEqual(fields.map((f) => [f.name, f.value]),
    [['imagefile', ''], ['imagetype', 'application'], ['submit', 'Send the file']]);
  assert.equal(fields[0].md5, createHash('md5').update(image).digest('hex'));
  await page.screenshot({ path: `${artefacts}/updatefirmwarechecksum.png`, fullPage: true });
});

test('Reset Flag posts its own name only', async () => {
  await page.goto(`${url}/updatefirmwareform.cgi`);
  await page.locator('input[name=resetappflag]').click();
  const fields = await received();
  assert.deepEqual(fields.map((f) => [f.name, f.value]),
    [['resetappflag', 'Reset Flag'], ['imagefile', ''], ['imagetype', 'system']]);
});
