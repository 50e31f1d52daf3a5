// The uninstall card: confirmation, work in progress, done, or failure with a retry.
import { CheckBox } from './controls';
import { type PageEvent, type PageState, type UninstallPhase, uninstall_phase } from './state';

interface CardText {
  title: string;
  text: string;
  showCheck: boolean;
  button: string;
}

export function card_text(phase: UninstallPhase, removeResources: boolean, errorText: string, kept: string[] = []): CardText {
  switch (phase) {
    case 'confirm':
      return {
        title: 'Удаление Corvane',
        text: 'Будут удалены лаунчер, файлы мультиплеера, логи, ярлыки и запись в списке программ. Сама GTA V останется на месте.',
        showCheck: true,
        button: 'Подтвердить и удалить',
      };
    case 'working':
      return { title: 'Удаление Corvane', text: 'Удаляем файлы мультиплеера...', showCheck: false, button: 'Удаление...' };
    case 'done':
      return {
        title: 'Corvane удалён',
        text:
          (removeResources
            ? 'Лаунчер, файлы мультиплеера, скачанные ресурсы серверов, ярлыки и запись в списке программ удалены.'
            : 'Лаунчер, файлы мультиплеера, ярлыки и запись в списке программ удалены. Скачанные ресурсы серверов сохранены в папке клиента.') +
          (kept.length > 0 ? ` Не относящееся к клиенту осталось в его папке: ${kept.join(', ')}.` : ''),
        showCheck: false,
        button: 'Закрыть',
      };
    case 'error':
      return { title: 'Не удалось удалить', text: errorText, showCheck: true, button: 'Повторить' };
  }
}

/** The uninstall card's emblem in the middle of the hero's rings: what the card is doing. */
export function UninstallEmblem({ phase }: { phase: UninstallPhase }) {
  const mark =
    phase === 'confirm' ? (
      <img class="emblem-logo" src="images/logo.svg" alt="" draggable={false} />
    ) : phase === 'working' ? (
      <span class="spinner emblem-spinner" />
    ) : phase === 'done' ? (
      <img class="emblem-check" src="images/check.svg" alt="" draggable={false} />
    ) : (
      <span class="result-mark">!</span>
    );
  return (
    <div class={`emblem emblem-${phase}`} key={phase} aria-hidden="true">
      {mark}
    </div>
  );
}

export function UninstallCard({ s, dispatch }: { s: PageState; dispatch: (event: PageEvent) => void }) {
  const phase = uninstall_phase(s.view);
  const base = card_text(phase, s.removeResources, s.errorText, s.kept);
  // Closed during the work: the removal goes on to its end, then the window closes.
  const t = phase === 'working' && s.closing ? { ...base, text: 'Завершаем удаление: окно закроется само, когда оно закончится.' } : base;
  const act = () => dispatch(phase === 'done' ? { kind: 'close' } : { kind: 'uninstall' });
  return (
    <div class={`uninstall uninstall-${phase}`}>
      <h1>{t.title}</h1>
      <p class="uninstall-text">{t.text}</p>
      <div class="uninstall-foot">
        {t.showCheck ? (
          <CheckBox checked={s.removeResources} onToggle={() => dispatch({ kind: 'toggleRemoveResources' })}>
            Удалить мультиплеер со всеми ресурсами
          </CheckBox>
        ) : (
          <span />
        )}
        <button
          type="button"
          class={`button ${phase === 'done' ? 'button-neutral' : 'button-red'}`}
          disabled={phase === 'working'}
          onClick={act}
        >
          {phase === 'working' ? <span class="spinner" aria-hidden="true" /> : null}
          {t.button}
        </button>
      </div>
    </div>
  );
}
