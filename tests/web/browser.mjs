// Debian's Chromium, driven by playwright-core in a fresh profile at a phone's
// size, and the steps on the pages that several tests take.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before } from 'node:test';
import { chromium } from 'playwright-core';

const FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];
// A phone's screen, in CSS pixels.
const PHONE = { width: 390, height: 844 };
const LIST_TIMEOUT_MS = 30000;

// One browser for the tests of a describe block: closed after them, then
// cleanup runs. newPage(t) gives a page closed after test t.
export function browserForTests(cleanup) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zarudodo-chromium-'));
  let context;
  before(async () => {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium', args: FLAGS, viewport: PHONE, isMobile: true, hasTouch: true,
    });
  });
  after(async () => {
    await context?.close();
    fs.rmSync(profile, { recursive: true, force: true });
    await cleanup();
  });
  return {
    async newPage(t) {
      const page = await context.newPage();
      t.after(() => page.close());
      return page;
    },
  };
}

// Errors the page's scripts throw or log, gathered for the test to check.
export function collectPageErrors(page) {
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  return errors;
}

// The folder scan runs in the background, so the list is refreshed until it
// holds exactly the expected names.
export async function waitForList(page, expected) {
  const want = [...expected].sort();
  const deadline = Date.now() + LIST_TIMEOUT_MS;
  let shown = [];
  while (Date.now() < deadline) {
    await page.locator('#reload:enabled').waitFor();
    shown = (await page.locator('button.video').allTextContents()).sort();
    if (JSON.stringify(shown) === JSON.stringify(want)) {
      return;
    }
    await page.waitForTimeout(500);
    await page.click('#reload');
  }
  assert.deepEqual(shown, want, 'the list of videos');
}

// No sideways scrolling, no text under 16 px, no target under 44 px (too small
// for a finger); the screenshot goes into the build tree for a person to see.
export async function checkPhoneLayout(page, name) {
  const screenshots = path.join(process.env.ZARUDODO_BUILD, 'web-screenshots');
  fs.mkdirSync(screenshots, { recursive: true });
  // From the top, so that the sticky title bar is drawn where it belongs.
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: path.join(screenshots, `${name}-${PHONE.width}.png`), fullPage: true });
  const layout = await page.evaluate(() => {
    const tooSmall = (selector, small) => [...document.querySelectorAll(selector)]
      .filter((element) => element.getClientRects().length > 0 && !element.closest('.visually-hidden') &&
        small(element))
      .map((element) => element.outerHTML.slice(0, 80));
    return {
      overflow: document.documentElement.scrollWidth - document.documentElement.clientWidth,
      smallText: tooSmall('button, input, a, h1, h2, li, label',
        (element) => parseFloat(getComputedStyle(element).fontSize) < 16),
      smallTargets: tooSmall('button, input, a.button',
        (element) => element.getBoundingClientRect().height < 44),
    };
  });
  assert.ok(layout.overflow <= 0, `${name}: ${layout.overflow} px wider than the screen`);
  assert.deepEqual(layout.smallText, [], `${name}: small text`);
  assert.deepEqual(layout.smallTargets, [], `${name}: small targets`);
}
