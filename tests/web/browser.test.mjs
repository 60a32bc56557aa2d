// The page in Debian's Chromium (headless), served by lighttpd: what a person
// sees, and what the form posts to the checksum stand-in. Runs inside
// scripts/web-server, which gives OVIX_URL.
import assert from 'node:assert/strict';
import { createHash, randomBytes } from 'node:crypto';
import { mkdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { after, before, describe, test } from 'node:test';

const require = createRequire(`${process.env.OVIX_NODE_MODULES}/`);
const { chromium } = require('playwright-core');

const url = process.env.OVIX_URL;
const artefacts = process.env.OVIX_ARTEFACTS;
const pageUrl = `${url}/updatefirmwareform.cgi`;

let browser;
let page;

before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    chromiumSandbox: false,
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  page = await browser.newPage({ viewport: { width: 1100, height: 900 } });
  page.setDefaultTimeout(20000);
});

after(async () => {
  await browser?.close();
});

// Each row of a table as the texts of its cells, exactly as in the document.
function rowsOf(table) {
  return table.locator('tr').evaluateAll((rows) =>
    rows.map((row) => [...row.cells].map((cell) => cell.textContent)));
}

// What the checksum stand-in received: one entry per posted field, in order.
async function received() {
  await page.waitForURL('**/updatefirmwarechecksum.cgi');
  return page.locator('#fields tr.field').evaluateAll((rows) =>
    rows.map((row) => Object.fromEntries(
      [...row.cells].map((cell) => [cell.className, cell.textContent]))));
}

describe('the page of the sample device', () => {
  test('home page links to the page, which shows versions, flags and the form', async () => {
    await page.goto(`${url}/index.html`);
    await page.getByRole('link', { name: 'Update Firmware' }).click();
    await page.waitForURL(pageUrl);
    assert.equal(await page.title(), 'OVIX Web Server - Update Firmware');

    assert.deepEqual(await rowsOf(page.locator('.content > table')), [
      ['Current PACKAGE IMAGE version: ', '02.06.01'],
      ['Current SYSTEM IMAGE version: ', '02.05.12'],
      ['Current APPLICATION IMAGE version: ', '02.06.04'],
      ['Preliminary version: ', '2.7.0-rc1'],
      ['Applicationimage created: ', '2026-11-28 14:32:05'],
    ]);

    const flags = page.locator('form table').first();
    assert.deepEqual(await rowsOf(flags), [
      ['SYSTEM IMAGE:', 'No update pending', ''],
      ['APPLICATION IMAGE:', 'Update done: reboot to start the new image', ''],
    ]);
    const buttons = await flags.locator('input').evaluateAll((inputs) =>
      inputs.map((input) => [input.type, input.name, input.value]));
    assert.deepEqual(buttons, [['submit', 'resetbootflag', 'Reset Flag'],
      ['submit', 'resetappflag', 'Reset Flag']]);

    assert.equal(await page.locator('input[name=imagetype][value=system]').isChecked(), true);
    assert.equal(await page.locator('input[name=imagetype][value=application]').isChecked(), false);
    const form = await page.locator('form').evaluate((f) => [f.method, f.enctype, f.action]);
    assert.deepEqual(form, ['post', 'multipart/form-data', `${url}/updatefirmwarechecksum.cgi`]);
  });

  test('the style sheet and both logos are loaded', async () => {
    await page.goto(pageUrl);
    const logos = await page.locator('img').evaluateAll((images) =>
      images.map((img) => [img.alt, img.complete && img.naturalWidth > 0]));
    assert.deepEqual(logos, [['TORVANE AG', true], ['VANTOR', true]]);
    const navi = await page.locator('.navi').evaluate((e) => getComputedStyle(e).backgroundColor);
    assert.equal(navi, 'rgb(31, 58, 95)');
    const warn = await page.locator('.description .warn').evaluate((e) => getComputedStyle(e).fontWeight);
    assert.equal(warn, '700');

    mkdirSync(artefacts, { recursive: true });
    await page.screenshot({ path: `${artefacts}/updatefirmwareform.png`, fullPage: true });
  });
});

describe('the form posted to updatefirmwarechecksum.cgi', () => {
  // An image with line ends and boundary-like bytes inside.
  const image = Buffer.concat([randomBytes(200 * 1024), Buffer.from('\r\n--\r\n\n\r'), randomBytes(999)]);
  const md5 = createHash('md5').update(image).digest('hex');

  for (const type of ['system', 'application']) {
    test(`Send the file with image type ${type}`, async () => {
      await page.goto(pageUrl);
      await page.locator('input[name=imagefile]').setInputFiles(
        { name: `ovix-${type}.img`, mimeType: 'application/octet-stream', buffer: image });
      if (type !== 'system') await page.locator(`input[name=imagetype][value=${type}]`).check();
      await page.getByRole('button', { name: 'Send the file' }).click();

      const fields = await received();
      assert.deepEqual(fields.map((f) => f.name), ['imagefile', 'imagetype', 'submit']);
      assert.deepEqual(fields[0],
        { name: 'imagefile', value: '', filename: `ovix-${type}.img`, size: String(image.length), md5 });
      assert.equal(fields[1].value, type);
      assert.equal(fields[2].value, 'Send the file');
      if (type === 'application') {
        await page.screenshot({ path: `${artefacts}/updatefirmwarechecksum.png`, fullPage: true });
      }
    });
  }

  for (const [name, other] of [['resetbootflag', 'resetappflag'], ['resetappflag', 'resetbootflag']]) {
    test(`Reset Flag ${name} posts its own name and no submit`, async () => {
      await page.goto(pageUrl);
      await page.locator(`input[name=${name}]`).click();

      const fields = await received();
      const names = fields.map((f) => f.name);
      assert.deepEqual(names, [name, 'imagefile', 'imagetype']);
      assert.ok(!names.includes('submit') && !names.includes(other));
      assert.equal(fields[0].value, 'Reset Flag');
      assert.deepEqual([fields[1].filename, fields[1].size], ['', '0']);
      assert.equal(fields[2].value, 'system');
    });
  }
});
