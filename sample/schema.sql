-- schema.sql - the bundled sample: a small shop schema SHOP with every
-- column type the programs carry, NULLs, LONG and LOB values of several
-- sizes, plain, unique, function-based and bitmap indexes, and primary
-- keys. Run as a DBA: tabsql -S system/PASSWORD@FILE @sample/schema.sql

create user shop identified by shop;
grant connect, resource to shop;
create user shop_copy identified by shop_copy;
grant connect, resource to shop_copy;

alter session set current_schema = shop;

-- Customers: character types of both semantics, national characters,
-- dates and a named NOT NULL constraint.
create table customers (
  customer_id   number(10)      constraint customers_id_nn not null,
  code          char(8)         not null,
  name          varchar2(60 char) not null,
  name_local    nvarchar2(60),
  country       nchar(2),
  email         varchar2(120),
  credit_limit  number(12,2)    default 1000,
  score         float,
  joined        date            default sysdate,
  constraint customers_pk primary key (customer_id)
);

insert into customers values (1, 'C0000001', 'Ada Lovelace', N'Ада Лавлейс', N'GB', 'ada@example.com', 5000, 98.5, date '2019-03-01');
insert into customers values (2, 'C0000002', 'Jürgen Müller', N'Jürgen Müller', N'DE', null, 250.75, null, date '2020-11-23');
insert into customers values (3, 'C0000003', '山田 太郎', N'山田 太郎', N'JP', 'taro@example.jp', null, 12.25, date '2021-07-04');
insert into customers (customer_id, code, name) values (4, 'C0000004', 'O''Brien & Sons');
insert into customers values (5, 'C0000005', 'Émilie Dubois', null, null, 'emilie@example.fr', 0, -3.75e-2, date '1999-12-31');

create unique index customers_code_ux on customers (code);
create index customers_name_upper_ix on customers (upper(name));
create bitmap index customers_country_bx on customers (country);

-- Products: exact and binary numbers, RAW, a timestamp and an unnamed key.
create table products (
  product_id    number(8) primary key,
  sku           varchar2(20) not null,
  title         varchar2(200),
  price         number(10,2) not null,
  weight_kg     binary_float,
  ratio         binary_double,
  checksum      raw(16),
  listed_at     timestamp(3),
  discontinued  char(1) default 'N'
);

insert into products
  select level, 'SKU-' || lpad(level, 6, '0'), 'Product number ' || level,
         round(level * 1.37, 2), level / 4, level / 3, hextoraw(lpad(to_char(level * 7919, 'FMXXXXXXXX'), 8, '0')),
         timestamp '2023-01-01 08:00:00.125' + numtodsinterval(level, 'HOUR'),
         decode(mod(level, 10), 0, 'Y', 'N')
  from dual connect by level <= 250;
insert into products values (251, 'SKU-EDGE', null, 0.01, null, null, null, null, null);
insert into products values (252, 'SKU-BIG', 'Largest price', 99999999.99, 3.4e38f, 1.7976931348623157e308d, hextoraw('00FF00FF00FF00FF00FF00FF00FF00FF'), timestamp '9999-12-31 23:59:59.999', 'N');

create index products_sku_ix on products (sku);

-- Orders: time zones, intervals and dates at the edges of the calendar.
create table orders (
  order_id      number(12),
  customer_id   number(10) not null,
  ordered_at    timestamp with time zone,
  delivered_at  timestamp with local time zone,
  promised      interval day(3) to second(2),
  warranty      interval year(2) to month,
  status        varchar2(12) default 'NEW',
  total         number
);
alter table orders add constraint orders_pk primary key (order_id);

insert into orders values (1001, 1, timestamp '2024-03-15 13:45:30 +01:00', timestamp '2024-03-18 09:00:00', interval '3 12:00:00' day to second, interval '2-0' year to month, 'DELIVERED', 1234.5678);
insert into orders values (1002, 2, timestamp '2024-12-31 23:59:59.999999 -05:30', null, interval '0 00:30:00.25' day to second, interval '0-6' year to month, 'SHIPPED', 99.99);
insert into orders values (1003, 3, null, null, null, null, null, null);
insert into orders values (1004, 1, timestamp '1970-01-01 00:00:00 +00:00', timestamp '2000-02-29 12:00:00', interval '-1 00:00:00' day to second, interval '-1-3' year to month, 'RETURNED', -42);
insert into orders values (1005, 5, timestamp '0001-01-01 00:00:00 +00:00', null, interval '999 23:59:59.99' day(3) to second(2), interval '99-11' year to month, 'NEW', 0);

create index orders_customer_ix on orders (customer_id, ordered_at desc);

-- Order lines: a composite primary key and many rows.
create table order_items (
  order_id      number(12),
  line_no       number(4),
  product_id    number(8),
  quantity      number(6) not null,
  unit_price    number(10,2),
  constraint order_items_pk primary key (order_id, line_no)
);

insert into order_items
  select 1001 + mod(level, 5), level, mod(level * 13, 250) + 1, mod(level, 7) + 1, round(mod(level * 17, 1000) / 7, 2)
  from dual connect by level <= 400;

-- Documents: CLOB, NCLOB and BLOB values, NULL, empty, small and larger
-- than one stream piece.
create table documents (
  doc_id        number primary key,
  title         varchar2(100),
  body          clob,
  body_local    nclob,
  attachment    blob,
  created       date
);

insert into documents values (1, 'Empty values', empty_clob(), empty_clob(), empty_blob(), date '2024-01-01');
insert into documents values (2, 'All NULL', null, null, null, null);
insert into documents values (3, 'Small', 'A short note.', N'Короткая заметка', hextoraw('89504E470D0A1A0A'), date '2024-02-02');
insert into documents values (4, 'One piece exactly',
  to_clob(rpad('a', 32767, 'a')) || 'b', to_nclob(rpad('ж', 16384, 'ж')),
  to_blob(hextoraw(rpad('CA', 65536, 'FE'))), date '2024-03-03');
insert into documents values (5, 'Several pieces',
  to_clob(rpad('line of text ', 32000, 'x')) || rpad('y', 32000, 'y') || rpad('z', 32000, 'z') || '—end',
  to_nclob(rpad('山', 20000, '川')) || rpad('海', 20000, '空'),
  to_blob(hextoraw(rpad('00', 60000, '01'))) || to_blob(hextoraw(rpad('02', 60000, '03'))),
  date '2024-04-04');

-- Audit trail: a LONG column, stored after the other columns, with NULLs.
create table audit_log (
  entry_id      number(10) primary key,
  logged_at     date not null,
  details       long,
  author        varchar2(30)
);

insert into audit_log values (1, date '2024-05-01', 'created customer 1', 'system');
insert into audit_log values (2, date '2024-05-02', null, 'system');
insert into audit_log values (3, date '2024-05-03', rpad('A long entry ', 30000, 'z') || rpad('!', 30000, '!'), null);

-- Images: LONG RAW.
create table images (
  image_id      number(6) primary key,
  data          long raw
);

insert into images values (1, hextoraw('FFD8FFE000104A464946'));
insert into images values (2, null);

-- A table without indexes, primary key or rows.
create table empty_archive (
  archived_on   date,
  payload       varchar2(4000)
);

commit;
