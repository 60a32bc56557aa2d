// The page in Chromium behind lighttpd at OVIX_URL: what one sees, what the form posts.
import assert from 'node:assert/strict';
import { createHash, randomBytes } from 'node:crypto';
import { createRequire } from 'node:module';
import { after, before, test } from 'node:test';

const { chromium } = createRequire(`${process.env.OVIX_NODE_MODULES}/`)('playwright-core');
const { OVIX_URL: url, OVIX_ARTEFACTS: artefacts } = process.env;
let browser, page;
before(async () => {
  browser = await chromium.launch(
    { executablePath: '/usr/bin/chromium', chromiumSandbox: false, args: ['--disable-gpu'] });
  page = await browser.newPage({ viewport: { width: 1100, height: 900 } });
});
after(() => browser?.close());

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
