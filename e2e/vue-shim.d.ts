// The tests type-check client modules that re-export screens; tsc alone does not read .vue files.
declare module '*.vue' {
  import type { DefineComponent } from 'vue';
  const component: DefineComponent;
  export default component;
}
