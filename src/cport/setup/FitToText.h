#pragma once
// Keeping a form drawn at fixed positions readable at any font: the forms
// were drawn for one platform's font (MS Sans Serif, 11 pixels); another
// face, a larger size or a longer translation would cut their captions.
//
// KeepFittedToText takes the geometry the container and its controls have
// when it is called as their design: the arrangement and the minimum size.
// It then fits them, and fits them again whenever the container's font, the
// application's font or the style changes, or a control's size hint changes
// (a new caption) while the container shows:
// - a label, button (push button, check box) or group box whose text has
//   no room in its design size grows, in the direction that lacks room, to
//   its style's size hint: the text at the control's font with what the
//   style draws around it (indicator, icon, frame). A button's room is the
//   rectangle its style draws the text into;
// - other controls that have a size hint (combo boxes, edits) grow in height
//   only, when their font's line lacks room: their width holds data, not a
//   caption;
// - a group box also grows around its own controls, fitted the same way;
// - a control to the right of or below one that grew moves so that the two
//   keep apart; controls that share a left (or top) edge in the design keep
//   sharing it, so columns and rows stay aligned;
// - the container grows around its controls. A fixed width or height stays
//   fixed, at the new size; otherwise the new size becomes its minimum.
// A control that already shows its text keeps its design geometry exactly.
// Nothing is made smaller than it is, or moved left or up of its design.
// Hidden controls are fitted too, so that they show whole when shown, but
// neither move others nor make the container grow. Widgets without a size
// hint (an empty panel placed by its owner) are left alone.
//
// Fits after the first are deferred to the event loop. User-interface
// thread; the container owns what this sets up.
class QWidget;

namespace cport {

void KeepFittedToText(QWidget& container);

}  // namespace cport
