// The one theme: its fonts (bundled), its styles and its mark on the document.
import './fonts';
import './theme.css';

export { applyTheme, THEME } from './theme';
