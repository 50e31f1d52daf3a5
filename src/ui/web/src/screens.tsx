// The install flow's screens: the setup form, progress, success and error.
import { CheckBox, FolderGroup, PathField } from './controls';
import { progress_view } from './progress';
import { can_install, type PageEvent, type PageState } from './state';

type Dispatch = (event: PageEvent) => void;

export function SetupScreen({ s, dispatch }: { s: PageState; dispatch: Dispatch }) {
  return (
    <div class="setup">
      <h1>Установка клиента</h1>
      <p class="lead">Выбери, куда ты хочешь поставить клиент, и обязательно проверь папку с игрой</p>
      <div class="fields">
        <FolderGroup id="install-dir" label="Папка установки клиента">
          <PathField
            id="install-dir"
            value={s.installDir}
            placeholder="Папка не выбрана"
            onBrowse={() => dispatch({ kind: 'browseInstall' })}
          />
        </FolderGroup>
        <FolderGroup
          id="gta-dir"
          label="Папка Grand Theft Auto V"
          badge={
            <span id="gta-dir-badge" class={`badge ${s.gtaValid ? 'badge-ok' : 'badge-bad'}`}>
              {s.gtaValid ? 'Игра найдена' : 'Игра не обнаружена'}
            </span>
          }
        >
          <PathField
            id="gta-dir"
            value={s.gtaDir}
            placeholder="Укажи папку, в которой лежит GTA5.exe"
            onBrowse={() => dispatch({ kind: 'browseGta' })}
            badgeId="gta-dir-badge"
          />
        </FolderGroup>
      </div>
      <div class="setup-foot">
        <div class="checks">
          <CheckBox checked={s.desktopShortcut} onToggle={() => dispatch({ kind: 'toggleDesktop' })}>
            Создать ярлык на рабочем столе
          </CheckBox>
          <CheckBox checked={s.startMenuShortcut} onToggle={() => dispatch({ kind: 'toggleStartMenu' })}>
            Добавить ярлык в меню “Пуск”
          </CheckBox>
        </div>
        <button
          type="button"
          class="button button-red button-install"
          disabled={!can_install(s)}
          onClick={() => dispatch({ kind: 'install' })}
        >
          <img src="images/download.svg" alt="" draggable={false} />
          Начать установку клиента
        </button>
      </div>
    </div>
  );
}

// What the progress screen says while a close waits for the run to end.
const CLOSING_TEXT = {
  cancel: { title: 'Отменяем установку...', detail: 'Окно закроется, как только загрузка остановится. Скачанное сохранится.' },
  finish: { title: 'Завершаем удаление...', detail: 'Окно закроется само, когда удаление закончится.' },
};

export function ProgressScreen({ s }: { s: PageState }) {
  const p = s.closing ? { ...progress_view(s), ...CLOSING_TEXT[s.closing], indeterminate: true, amount: '' } : progress_view(s);
  return (
    <div class="progress">
      <div class="progress-head">
        <h2 class="progress-title" id="progress-title">
          {p.title}
        </h2>
        {p.amount ? <span class="progress-amount">{p.amount}</span> : null}
      </div>
      <div
        class={`bar${p.indeterminate ? ' bar-indeterminate' : ''}`}
        role="progressbar"
        aria-labelledby="progress-title"
        aria-valuemin={0}
        aria-valuemax={100}
        aria-valuenow={p.valueNow}
        aria-valuetext={p.valueText}
      >
        <div class="bar-fill" style={p.indeterminate ? undefined : { width: `${p.barWidth}px` }} />
      </div>
      <div class="progress-detail">{p.detail}</div>
    </div>
  );
}

export function InstalledScreen({ dispatch }: { dispatch: Dispatch }) {
  return (
    <div class="result result-ok">
      <div class="result-icon">
        <img src="images/check.svg" alt="" draggable={false} />
      </div>
      <h2>Мультиплеер успешно установлен</h2>
      <p>Все необходимые файлы установлены</p>
      <div class="result-actions">
        <button type="button" class="button button-green" onClick={() => dispatch({ kind: 'launch' })}>
          Продолжить
        </button>
      </div>
    </div>
  );
}

export function ErrorScreen({ s, dispatch }: { s: PageState; dispatch: Dispatch }) {
  return (
    <div class="result result-error">
      <div class="result-icon" aria-hidden="true">
        <span class="result-mark">!</span>
      </div>
      <h2>Что-то пошло не так</h2>
      <p class="error-text">{s.errorText}</p>
      <div class="result-actions">
        <button type="button" class="button button-red" onClick={() => dispatch({ kind: 'retry' })}>
          Повторить
        </button>
        <button type="button" class="button button-neutral" onClick={() => dispatch({ kind: 'close' })}>
          Закрыть
        </button>
      </div>
    </div>
  );
}
