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

/** A labelled folder field; `badge` sits beside the label. */
export function FolderGroup(props: { label: string; badge?: ComponentChildren; children: ComponentChildren }) {
  return (
    <div class="field-group">
      <div class="field-label">
        {props.label}
        {props.badge}
      </div>
      {props.children}
    </div>
  );
}

/** A folder field: shows the value (whole value as tooltip) or a placeholder; a click opens the picker. */
export function PathField(props: { value: string; placeholder: string; onBrowse(): void; testId: string }) {
  const empty = props.value === '';
  return (
    <button
      type="button"
      class={`path-field${empty ? ' is-empty' : ''}`}
      title={empty ? undefined : props.value}
      onClick={props.onBrowse}
      data-testid={props.testId}
    >
      <span class="path-value">{empty ? props.placeholder : props.value}</span>
      <img class="path-edit" src="images/edit.svg" alt="" draggable={false} />
    </button>
  );
}
