// The slogan's promotional slides: two title lines and a paragraph each.

export interface Slide {
  title: readonly [string, string];
  text: string;
}

export const SLIDES: readonly Slide[] = [
  {
    title: ['Новая жизнь', 'в мире Corvane'],
    text: 'Сотни серверов и живые сообщества: начни с нуля и пройди путь от первой работы до вершины города.',
  },
  {
    title: ['Играй с друзьями', 'без ограничений'],
    text: 'Собери команду, открой свой бизнес или вступи во фракцию — город живёт, даже когда тебя нет.',
  },
  {
    title: ['Один клиент —', 'все серверы'],
    text: 'Обновления приходят сами, а ресурсы серверов скачиваются один раз и сразу готовы к игре.',
  },
];
