// Small form controls shared by the screens.
import type { ComponentChildren } from 'preact';

export function CheckBox(props: { checked: boolean; onToggle(): void; children: ComponentChildren }) {
  return (
    <label class={`check${props.checked ? ' is-checked' : ''}`}>
      <input type="checkbox" checked={props.checked} onChange={props.onToggle} />
      <span class="check-box" aria-hidden="true">
        <img src="images/check.svg" alt="" draggable={false} />
      </span>
      <span class="check-label">{props.children}</span>
    </label>
  );
}

/** A labelled folder field; `badge` sits beside the label. The label's element is `<id>-label`. */
export function FolderGroup(props: { id: string; label: string; badge?: ComponentChildren; children: ComponentChildren }) {
  return (
    <div class="field-group">
      <div class="field-label">
        <span id={`${props.id}-label`}>{props.label}</span>
        {props.badge}
      </div>
      {props.children}
    </div>
  );
}

/**
 * A folder field: shows the value (whole value as tooltip) or a placeholder; a click opens the
 * picker. Its accessible name is its group's label, the badge (the element `badgeId`, if any) and
 * what it shows, in that order.
 */
export function PathField(props: { id: string; value: string; placeholder: string; onBrowse(): void; badgeId?: string }) {
  const empty = props.value === '';
  const names = [`${props.id}-label`, ...(props.badgeId ? [props.badgeId] : []), `${props.id}-value`];
  return (
    <button
      type="button"
      class={`path-field${empty ? ' is-empty' : ''}`}
      title={empty ? undefined : props.value}
      onClick={props.onBrowse}
      data-testid={props.id}
      aria-labelledby={names.join(' ')}
    >
      <span class="path-value" id={`${props.id}-value`}>
        {empty ? props.placeholder : props.value}
      </span>
      <img class="path-edit" src="images/edit.svg" alt="" draggable={false} />
    </button>
  );
}
