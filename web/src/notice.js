// The notice under the bar: one message at a time that the student must see (a link that was
// refused, work kept one step away, a breakpoint that moved), with at most one action and a
// close button. The message is always set as text.

// Makes the notice in element (which holds a text span, an action button and a close button).
export function createNotice(element) {
  const message = element.querySelector('.notice-text');
  const action = element.querySelector('.notice-action');
  const close = element.querySelector('.notice-close');
  let run = null;

  const hide = () => {
    element.hidden = true;
    run = null;
  };
  action.addEventListener('click', () => {
    const chosen = run;
    hide();
    chosen?.();
  });
  close.addEventListener('click', hide);

  return {
    // Shows text; with offer = { label, run } the action button does run.
    show(text, offer = null) {
      message.textContent = text;
      action.hidden = !offer;
      action.textContent = offer?.label ?? '';
      run = offer?.run ?? null;
      element.dataset.kind = offer ? 'offer' : 'message';
      element.hidden = false;
    },
    hide,
  };
}
