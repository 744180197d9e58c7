// The settings page against the real server: refusals before sending, saving
// without losing unknown keys, and failures the program reports.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { describe, test } from 'node:test';
import { browserForTests, checkPhoneLayout, collectPageErrors, waitForList } from './browser.mjs';
import { startServer, videoFolder, videoNames, windowsPath } from './server.mjs';

const FIRST = windowsPath(videoFolder('videos one'));
const SECOND = windowsPath(videoFolder('videos two'));
// A key of a later version, which the page must send back unchanged.
const UNKNOWN = { nested: [1, 'two', { three: null }], flag: true };

const server = await startServer('configure-server', {
  extensions: ['mp4'], share: false, folders: [FIRST], unknownKey: UNKNOWN,
});

const serverSettings = async () => (await (await fetch(server.base + '/db?getconfig')).json()).config;

describe('the settings page', () => {
  const browser = browserForTests(server.stop);

  async function openSettings(t) {
    const page = await browser.newPage(t);
    const errors = collectPageErrors(page);
    const posts = [];
    page.on('request', (request) => request.method() === 'POST' && posts.push(request.postData()));
    await page.goto(server.base + '/configure.html');
    await page.locator('#settings').waitFor();
    return { page, errors, posts };
  }

  const rows = (page, list) => page.locator(`#${list} input`);

  async function save(page) {
    await page.click('#save');
    await page.locator('#save:enabled').waitFor();
    const message = page.locator('#save-message');
    await message.waitFor({ state: 'visible' });
    return message.textContent();
  }

  test('refuses bad values with a message, and sends nothing', async (t) => {
    const { page, posts } = await openSettings(t);
    const before = fs.readFileSync(server.settingsFile, 'utf8');
    const refusals = [
      [async () => page.fill('#port', '0'), /port must be a whole number from 1 to 65535/],
      [async () => page.fill('#port', '80a'), /port must be/],
      [async () => rows(page, 'extensions').first().fill('.'), /Extension 1 is empty/],
      [async () => rows(page, 'extensions').first().fill('m p4'), /Extension 1 .* may not hold/],
      [async () => {
        await page.click('#add-extension');
        await rows(page, 'extensions').last().fill('.mp4');
      }, /extension "mp4" is listed twice/],
      [async () => page.click('#extensions button.remove'), /at least one extension/, 0],
      [async () => page.click('#add-folder'), /Folder 2 is empty/],
      [async () => {
        await page.click('#add-folder');
        await rows(page, 'folders').last().fill(FIRST.toUpperCase());
      }, /is listed twice/],
    ];
    for (const [spoil, expected, fieldsMarked = 1] of refusals) {
      await page.click('#undo');
      await spoil();
      const message = await save(page);
      assert.match(message, expected);
      assert.match(message, /Nothing was saved/);
      assert.equal(await page.locator('[aria-invalid="true"]').count(), fieldsMarked);
    }
    assert.deepEqual(posts, []);
    assert.equal(fs.readFileSync(server.settingsFile, 'utf8'), before);
    await checkPhoneLayout(page, 'configure');
  });

  // The folder search matches extensions exactly: phones write ".MOV".
  test('saves changed folders and extensions that differ only in case, keeps unknown keys, ' +
    'and the list shows the new folder', async (t) => {
    const { page, errors } = await openSettings(t);
    const before = await serverSettings();
    for (const extension of ['MOV', 'mov']) {
      await page.click('#add-extension');
      await rows(page, 'extensions').last().fill(extension);
    }
    await page.click('#add-folder');
    await rows(page, 'folders').last().fill(SECOND);
    await page.click('#folders button.remove >> nth=0');
    assert.match(await save(page), /^Settings saved\. The folders are being searched again/);

    const expected = { ...before, extensions: [...before.extensions, 'MOV', 'mov'], folders: [SECOND] };
    assert.deepEqual(await serverSettings(), expected);
    assert.deepEqual(JSON.parse(fs.readFileSync(server.settingsFile, 'utf8')), expected);
    await page.goto(server.base + '/');
    await waitForList(page, videoNames('videos two'));
    assert.deepEqual(errors, []);
  });

  test('says so when the program cannot write its settings file', async (t) => {
    const { page } = await openSettings(t);
    // A folder in the file's place, which no file can replace.
    const kept = server.settingsFile + '.kept';
    fs.renameSync(server.settingsFile, kept);
    fs.mkdirSync(server.settingsFile);
    t.after(() => {
      fs.rmdirSync(server.settingsFile);
      fs.renameSync(kept, server.settingsFile);
    });
    await page.fill('#port', '2001');
    assert.match(await save(page), /could not write its settings file: the settings were not saved/);
    assert.ok(fs.statSync(server.settingsFile).isDirectory());
    assert.equal((await serverSettings()).port, 2001, 'in force until the program ends');
  });

  test('says so when the program cannot be reached', async (t) => {
    const { page } = await openSettings(t);
    await server.stop();
    assert.match(await save(page), /Could not reach Zarudodo Vudade.*The settings were not saved/);
  });
});
