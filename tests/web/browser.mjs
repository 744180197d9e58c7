// Debian's Chromium, driven by playwright-core, in a fresh profile.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before } from 'node:test';
import { chromium } from 'playwright-core';

const CHROMIUM = '/usr/bin/chromium';
const FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// A phone's screen: 390 by 844 CSS pixels, touch, and the page's viewport tag
// honoured as a phone's browser does.
export const PHONE = { width: 390, height: 844 };

// One browser, in a fresh profile, for the tests of a describe block: closed
// after them, then the clean-ups run. newPage(t) gives a page closed after test t.
export function browserForTests(...cleanups) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zarudodo-chromium-'));
  let context;
  before(async () => {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM, headless: true, args: FLAGS, viewport: PHONE, isMobile: true, hasTouch: true,
    });
  });
  after(async () => {
    await context?.close();
    fs.rmSync(profile, { recursive: true, force: true });
    for (const cleanup of cleanups) {
      await cleanup();
    }
  });
  return {
    async newPage(t) {
      const page = await context.newPage();
      t.after(() => page.close());
      return page;
    },
  };
}

// Makes the page's browser look like one without HLS of its own, so that
// the page takes its hls.js road.
export async function hideNativeHls(page) {
  await page.addInitScript(() => {
    const canPlayType = HTMLMediaElement.prototype.canPlayType;
    HTMLMediaElement.prototype.canPlayType = function (type) {
      return /mpegurl/i.test(type) ? '' : canPlayType.call(this, type);
    };
  });
}

// Errors the page's scripts throw or log, gathered for the test to check.
export function collectPageErrors(page) {
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error') {
      errors.push(message.text());
    }
  });
  return errors;
}
