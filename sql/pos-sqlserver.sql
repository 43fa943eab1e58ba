-- The four POS master tables for Microsoft SQL Server, for operators who set up a test
-- POS database. Use a database with a Chinese_Taiwan collation (code page 950), so
-- that varchar sizes count Big5 bytes as the POS does, e.g.
--   CREATE DATABASE KAROS COLLATE Chinese_Taiwan_Stroke_CI_AS;

CREATE TABLE [Classify] (
  [ClsNo] varchar(3) NOT NULL,
  [ClsName] varchar(40),
  [Flag] bit,
  [Void] char(1),
  CONSTRAINT PK_Classify PRIMARY KEY ([ClsNo])
);
GO

CREATE TABLE [Supplier] (
  [FactNo] varchar(4) NOT NULL,
  [FactName] varchar(40),
  [Addr] varchar(40),
  [Responser] varchar(10),
  [TelNo1] varchar(17),
  [TelNo2] varchar(17),
  [TelNo3] varchar(17),
  [OrderTel] varchar(17),
  [FaxNo] varchar(12),
  [TradeDate] datetime,
  [BusNo] varchar(8),
  [InvCd] varchar(10),
  [InTerm] varchar(12),
  [Purchase] varchar(12),
  [PayCyc] varchar(12),
  [PayMth] varchar(30),
  [DisRate] float,
  [TaxCd] varchar(10),
  [TradeCd] varchar(20),
  [Contact] varchar(10),
  [Account] varchar(16),
  [Bank] varchar(10),
  [Branch] varchar(10),
  [LastUpdate] datetime,
  [Void] char(1),
  [Notes] varchar(60),
  CONSTRAINT PK_Supplier PRIMARY KEY ([FactNo])
);
GO

CREATE TABLE [Item] (
  [ItemNo] varchar(8) NOT NULL,
  [ItemMark] varchar(13),
  [SelfCode] varchar(13),
  [PtName] varchar(40),
  [PtSpec] varchar(50),
  [PayType] varchar(1),
  [SupplierNo] varchar(4),
  [ValidDays] varchar(1),
  [ImTax] varchar(10),
  [ImUpDate] datetime,
  [UniPrice] float,
  [GUnit] varchar(4),
  [MUnit] varchar(4),
  [SUnit] varchar(4),
  [GtoM] int,
  [MtoS] int,
  [Gift] float,
  [Percent] float,
  [RegSafeQty] smallint,
  [EmgSafeQty] smallint,
  [Flags] varchar(10),
  [StkQty] int,
  [ChkQty] int,
  [ShelfNo] varchar(3),
  [TempShelf] varchar(3),
  [AvgCost] float,
  [Code] varchar(6),
  [Special] smallint,
  [OldCode] varchar(13),
  [HeaPrice] float,
  [HealthCode] varchar(12),
  [Price] float,
  [MemPrice] float,
  [VipPrice] float,
  [MTDate] datetime,
  [ItemCnt] smallint,
  [Qty1] smallint,
  [No1] varchar(8),
  [Qty2] smallint,
  [No2] varchar(8),
  [Qty3] smallint,
  [No3] varchar(8),
  [Void] char(1),
  [Notes] varchar(60),
  CONSTRAINT PK_Item PRIMARY KEY ([ItemNo])
);
GO

CREATE TABLE [Customer] (
  [CustNo] varchar(8) NOT NULL,
  [Name] varchar(20),
  [IdNo] varchar(10),
  [Sex] varchar(6),
  [TelNo] varchar(17),
  [TelNo2] varchar(17),
  [Address] varchar(50),
  [Birthday] datetime,
  [Height] float,
  [Weight] float,
  [PressureL] float,
  [PressureH] float,
  [Sense] varchar(60),
  [ChkDate] datetime,
  [SickCd1] varchar(2),
  [SickCd2] varchar(2),
  [SickCd3] varchar(2),
  [DisCount] varchar(16),
  [VipCount] int,
  [DateB] datetime,
  [DateE] datetime,
  [DebtTtl] float,
  [Notes] varchar(60),
  [EMail] varchar(60),
  CONSTRAINT PK_Customer PRIMARY KEY ([CustNo])
);
GO
