// The Tavro extension: starts tavro-lsp (from the PATH or the tavro.lsp.path setting) through
// vscode-languageclient for live diagnostics, hovers and navigation, and runs the current file
// with tavro in a terminal (the "tavro" task type and the Tavro: Run command). The run shows
// tavro's output exactly as it is; the Problems view holds the server's messages alone, the
// same the playground shows, so a message is never listed twice or on another line.
'use strict';

const childProcess = require('node:child_process');
const path = require('node:path');
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function setting(name, fallback) {
  const value = vscode.workspace.getConfiguration('tavro').get(name);
  return typeof value === 'string' && value.trim() !== '' ? value : fallback;
}

async function startServer(context) {
  const command = setting('lsp.path', 'tavro-lsp');
  client = new LanguageClient('tavro', 'Tavro language server',
    { command, transport: TransportKind.stdio },
    { documentSelector: [{ language: 'tavro' }] });
  try {
    await client.start();
  } catch (error) {
    client = undefined;
    vscode.window.showWarningMessage(
      `Tavro: could not start ${command} (${error.message}). Set tavro.lsp.path, or run files with "Tavro: Run".`);
  }
  context.subscriptions.push({ dispose: () => client && client.stop() });
}

// A pseudoterminal that runs tavro on one file: output as tavro writes it, and keyboard lines
// to its standard input (for IN).
function runTerminal(file) {
  const write = new vscode.EventEmitter();
  const close = new vscode.EventEmitter();
  let child;
  let line = '';
  const show = (data) => write.fire(data.toString('latin1').replace(/\r?\n/g, '\r\n'));
  return {
    onDidWrite: write.event,
    onDidClose: close.event,
    open() {
      child = childProcess.spawn(setting('path', 'tavro'), [path.basename(file)], { cwd: path.dirname(file) });
      child.stdout.on('data', show);
      child.stderr.on('data', show);
      child.on('error', (error) => {
        show(`Cannot run tavro: ${error.message}\n`);
        close.fire(1);
      });
      child.on('close', (code) => close.fire(code === null ? 1 : code));
    },
    handleInput(data) {
      if (!child || !child.stdin.writable) return;
      for (const ch of data) {
        if (ch === '\r') {
          write.fire('\r\n');
          child.stdin.write(line + '\n');
          line = '';
        } else if (ch === '\x7f') {
          if (line.length > 0) { line = line.slice(0, -1); write.fire('\b \b'); }
        } else if (ch === '\x04') {
          child.stdin.end();
        } else {
          line += ch;
          write.fire(ch);
        }
      }
    },
    close() {
      if (child && child.exitCode === null) child.kill('SIGINT');
    },
  };
}

function runTask(file, scope) {
  const definition = { type: 'tavro', file };
  const task = new vscode.Task(definition, scope || vscode.TaskScope.Workspace, `run ${path.basename(file)}`, 'tavro',
    new vscode.CustomExecution(async () => runTerminal(file)));
  task.presentationOptions = { reveal: vscode.TaskRevealKind.Always, focus: true, clear: true };
  return task;
}

function activeTavroFile() {
  const editor = vscode.window.activeTextEditor;
  return editor && editor.document.languageId === 'tavro' && editor.document.uri.scheme === 'file'
    ? editor.document : undefined;
}

async function activate(context) {
  context.subscriptions.push(vscode.tasks.registerTaskProvider('tavro', {
    provideTasks() {
      const document = activeTavroFile();
      return document ? [runTask(document.uri.fsPath)] : [];
    },
    resolveTask(task) {
      const file = task.definition.file;
      if (typeof file !== 'string' || file === '') return undefined;
      const resolved = file.replace('${file}', (activeTavroFile() || { uri: { fsPath: '' } }).uri.fsPath);
      return runTask(resolved, task.scope);
    },
  }));

  context.subscriptions.push(vscode.commands.registerCommand('tavro.run', async () => {
    const document = activeTavroFile();
    if (!document) {
      vscode.window.showInformationMessage('Tavro: open a saved .tas file to run it.');
      return;
    }
    await document.save();
    await vscode.tasks.executeTask(runTask(document.uri.fsPath));
  }));

  registerDebugger(context);
  await startServer(context);
}

// The debugger: tavro-dap from the PATH or the setting, F5 on a .tas file without a
// launch.json, the default step limit from the settings, and "Debug this file".
function registerDebugger(context) {
  const config = () => vscode.workspace.getConfiguration('tavro');
  context.subscriptions.push(
    vscode.debug.registerDebugAdapterDescriptorFactory('tavro', {
      createDebugAdapterDescriptor: () =>
        new vscode.DebugAdapterExecutable(config().get('debug.adapterPath', 'tavro-dap')),
    }),
    vscode.debug.registerDebugConfigurationProvider('tavro', {
      resolveDebugConfiguration(folder, c) {
        const document = activeTavroFile();
        if (!c.type && !c.request && document) {
          Object.assign(c, { type: 'tavro', request: 'launch', name: 'Debug this file',
            program: '${file}', stopOnEntry: true });
        }
        if (!c.program) {
          return vscode.window.showErrorMessage('Tavro: open a .tas file to debug it.')
            .then(() => undefined);
        }
        if (c.maxSteps === undefined) c.maxSteps = config().get('debug.maxSteps', 10000000);
        return c;
      },
    }),
    vscode.commands.registerCommand('tavro.debugFile', (uri) => {
      const file = uri || (activeTavroFile() && activeTavroFile().uri);
      if (!file) return undefined;
      return vscode.debug.startDebugging(vscode.workspace.getWorkspaceFolder(file), {
        type: 'tavro', request: 'launch', name: 'Debug this file', program: file.fsPath,
        stopOnEntry: true,
      });
    }),
  );
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
