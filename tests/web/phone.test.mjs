// Both pages at a phone's width: nothing wider than the screen, text readable
// without zooming, targets big enough for a finger. Screenshots go into the
// build tree for a person to look at.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { PHONE, browserForTests } from './browser.mjs';
import { waitForList } from './pages.mjs';
import { PATHS, startServer, windowsPath } from './server.mjs';
import { LONG_NAME, makeTestVideos, videoNames } from './videos.mjs';

const SCREENSHOTS = path.join(PATHS.build, 'web-screenshots');
const MIN_TEXT_PX = 16;
const MIN_TARGET_PX = 44;

const folders = makeTestVideos(path.join(PATHS.build, 'web-tests'));
const server = await startServer('phone-server', {
  extensions: ['mp4'], share: false, folders: [windowsPath(folders['videos one'])],
});

// What a phone user would notice: sideways scrolling, small text, small
// buttons and fields.
async function checkPhoneLayout(page, name) {
  fs.mkdirSync(SCREENSHOTS, { recursive: true });
  // From the top, so that the sticky title bar is drawn where it belongs.
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: path.join(SCREENSHOTS, `${name}-${PHONE.width}.png`), fullPage: true });
  const layout = await page.evaluate(([minText, minTarget]) => {
    const root = document.documentElement;
    const visible = (element) => element.getClientRects().length > 0;
    const smallText = [...document.querySelectorAll('button, input, a, h1, h2, li, label')]
      .filter((element) => visible(element) && !element.closest('.visually-hidden') &&
        parseFloat(getComputedStyle(element).fontSize) < minText)
      .map((element) => element.outerHTML.slice(0, 80));
    const smallTargets = [...document.querySelectorAll('button, input, a.button')]
      .filter((element) => visible(element) && element.getBoundingClientRect().height < minTarget)
      .map((element) => element.outerHTML.slice(0, 80));
    return { scrollWidth: root.scrollWidth, clientWidth: root.clientWidth, smallText, smallTargets };
  }, [MIN_TEXT_PX, MIN_TARGET_PX]);
  assert.ok(layout.scrollWidth <= layout.clientWidth,
    `${name}: ${layout.scrollWidth} px wide on a ${layout.clientWidth} px screen`);
  assert.deepEqual(layout.smallText, [], `${name}: text under ${MIN_TEXT_PX} px`);
  assert.deepEqual(layout.smallTargets, [], `${name}: targets under ${MIN_TARGET_PX} px high`);
}

describe(`the pages at ${PHONE.width} px`, () => {
  const browser = browserForTests(server.stop);

  test('the list page, with a long name and the player open', async (t) => {
    const page = await browser.newPage(t);
    await page.goto(server.base + '/');
    await waitForList(page, videoNames('videos one'));
    // Room to scroll, as a long list gives: the player is scrolled to on a
    // tap, and its title must come out below the sticky title bar.
    await page.evaluate(() => { document.querySelector('main').style.paddingBottom = '3000px'; });
    await page.getByRole('button', { name: LONG_NAME }).click();
    await page.waitForFunction(() => document.getElementById('video').currentTime > 1);
    const gap = await page.evaluate(() => document.getElementById('now-playing').getBoundingClientRect().top -
      document.querySelector('.bar').getBoundingClientRect().bottom);
    assert.ok(gap >= 0, `the title bar covers ${-gap} px of the player's title`);
    await page.evaluate(() => { document.querySelector('main').style.paddingBottom = ''; });
    await checkPhoneLayout(page, 'index');
  });

  test('the settings page, with a refusal shown', async (t) => {
    const page = await browser.newPage(t);
    await page.goto(server.base + '/configure.html');
    await page.locator('#settings').waitFor();
    await page.click('#add-folder');
    await page.click('#save');
    await page.locator('#save-message').waitFor();
    await checkPhoneLayout(page, 'configure');
  });
});
